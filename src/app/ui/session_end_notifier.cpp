#include "app/ui/session_end_notifier.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>

namespace vetra::app::ui {
namespace {

volatile std::sig_atomic_t g_write_fd = -1;

extern "C" void on_session_signal(int signal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    if (g_write_fd >= 0) {
        (void)::write(g_write_fd, &byte, 1);  // a full pipe already holds a pending end
    }
    errno = saved;
}

}  // namespace

SessionEndNotifier::SessionEndNotifier(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
        fds_[0] = fds_[1] = -1;
        return;  // without it the default handlers stay: no worse than before
    }
    notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SessionEndNotifier::on_readable);
    g_write_fd = fds_[1];
    struct sigaction sa {};
    sa.sa_handler = on_session_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], &sa, &previous_[i]);
    }
}

SessionEndNotifier::~SessionEndNotifier() {
    if (fds_[1] < 0) {
        return;
    }
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], &previous_[i], nullptr);
    }
    g_write_fd = -1;
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void SessionEndNotifier::on_readable() {
    unsigned char bytes[16];
    const ssize_t n = ::read(fds_[0], bytes, sizeof bytes);
    for (ssize_t i = 0; i < n; ++i) {
        Q_EMIT ended(bytes[i]);
    }
}

}  // namespace vetra::app::ui
