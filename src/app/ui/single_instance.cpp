#include "app/ui/single_instance.h"

#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>
#include <filesystem>

#include "library/utf8_path.h"

namespace vetra::app::ui {
namespace {

constexpr char kShowRequest[] = "show\n";

}  // namespace

SingleInstance::SingleInstance(const std::string& program_dir, QObject* parent)
    : QObject(parent),
      program_dir_(program_dir),
      lock_(library::path_from_utf8(program_dir) / "vetra.lock") {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::server_name(const std::string& program_dir) {
    const QString given = QString::fromStdString(program_dir);
    return platform::local_server_name(QDir(given).exists() ? QDir(given).canonicalPath() : given);
}

bool SingleInstance::claim() {
    if (!lock_.try_lock()) {
        return false;
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = server_name(program_dir_);
    // Holding the lock, no other first start is alive: a socket left by a crash goes.
    QLocalServer::removeServer(name);
    // Without the socket the program still runs; a second start only cannot raise it.
    (void)server_->listen(name);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::on_connection);
    return true;
}

void SingleInstance::on_connection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        const auto read = [this, socket] {
            if (socket->canReadLine() && socket->readLine() == kShowRequest) {
                Q_EMIT showRequested();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, read);
        read();
    }
}

bool SingleInstance::ask_running_to_show(int timeout_ms) const {
    platform::let_running_come_forward();
    QLocalSocket socket;
    socket.connectToServer(server_name(program_dir_));
    if (!socket.waitForConnected(timeout_ms)) {
        return false;
    }
    socket.write(kShowRequest);
    const bool sent = socket.waitForBytesWritten(timeout_ms);
    socket.disconnectFromServer();
    return sent;
}

void bring_forward(QWidget* window) {
    if (window == nullptr) {
        return;
    }
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
    // A question the window is waiting on comes forward with it.
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != window) {
        modal->raise();
        modal->activateWindow();
    }
}

}  // namespace vetra::app::ui
