#pragma once

#include <QObject>
#include <QString>
#include <string>

#include "library/lock_object.h"

class QLocalServer;
class QWidget;

namespace vetra::app::ui {

inline constexpr const char* kAlreadyRunning = "Программа уже запущена";

// One window per program directory. The first start holds the directory's lock and listens
// on a local socket named after the directory; a later start asks it through that socket to
// bring its window forward, so the operator who started the program again sees the one that
// runs instead of nothing.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const std::string& program_dir, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True for the first start on the directory, which then answers later starts.
    [[nodiscard]] bool claim();
    // Asks the program that holds the directory to come forward; false when none answered.
    bool ask_running_to_show(int timeout_ms = 2000) const;

    // Per user and per directory: two operators or two directories never meet.
    static QString server_name(const std::string& program_dir);

Q_SIGNALS:
    void showRequested();

private:
    void on_connection();

    std::string program_dir_;
    library::LockObject lock_;
    QLocalServer* server_ = nullptr;
};

// The window (or the dialog it has open) restored if minimised, raised and activated.
void bring_forward(QWidget* window);

// What differs by platform (single_instance_posix.cpp, single_instance_win32.cpp).
namespace platform {

// The local server's name for a program directory's canonical path, one per user.
QString local_server_name(const QString& canonical_dir);
// Called by a second start, which the operator has just made and so may take the foreground,
// before it asks the running program forward: it passes that right on.
void let_running_come_forward();

}  // namespace platform

}  // namespace vetra::app::ui
