#include "app/ui/session_end_notifier.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>

namespace vetra::app::ui {
namespace {

constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};

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

// The handler only writes the signal number into a socket pair; the event loop reads it.
// The previous handlers come back when the notifier is destroyed.
struct SessionEndNotifier::Private {
    int fds[2] = {-1, -1};
    std::array<struct sigaction, kSignals.size()> previous{};
};

SessionEndNotifier::SessionEndNotifier(QObject* parent)
    : QObject(parent), d_(std::make_unique<Private>()) {
    int* fds = d_->fds;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) {
        fds[0] = fds[1] = -1;
        return;  // without it the default handlers stay: no worse than before
    }
    auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char bytes[16];
        const ssize_t n = ::read(d_->fds[0], bytes, sizeof bytes);
        for (ssize_t i = 0; i < n; ++i) {
            Q_EMIT ended(bytes[i]);
        }
    });
    g_write_fd = fds[1];
    struct sigaction sa {};
    sa.sa_handler = on_session_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], &sa, &d_->previous[i]);
    }
}

SessionEndNotifier::~SessionEndNotifier() {
    if (d_->fds[1] < 0) {
        return;
    }
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], &d_->previous[i], nullptr);
    }
    g_write_fd = -1;
    ::close(d_->fds[0]);
    ::close(d_->fds[1]);
}

}  // namespace vetra::app::ui
