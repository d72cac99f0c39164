#include "pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace vetra::sim {

PtyLine::~PtyLine() {
    for (int fd : {master_, slave_, watch_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool PtyLine::open() {
    termios raw{};
    ::cfmakeraw(&raw);
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        return false;
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    slave_path_ = name;
    // Our own slave descriptor was opened before the watch, so it is not counted.
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && ::inotify_add_watch(watch_, name, IN_OPEN | IN_CLOSE) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
    return true;
}

void PtyLine::take_events() {
    if (watch_ < 0) {
        return;
    }
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(watch_, buffer, sizeof buffer);
        if (got <= 0) {
            return;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            if (e->mask & IN_OPEN) {
                ++opens_;
            }
            if (e->mask & IN_CLOSE) {
                --opens_;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
}

bool PtyLine::program_attached() {
    if (watch_ < 0) {
        return true;
    }
    take_events();
    return opens_ > 0;
}

PtyLine::Write PtyLine::write(const std::uint8_t* data, std::size_t size,
                              std::chrono::milliseconds stall) {
    using Clock = std::chrono::steady_clock;
    auto last_progress = Clock::now();
    while (size > 0) {
        const ssize_t put = ::write(master_, data, size);
        if (put > 0) {
            data += put;
            size -= static_cast<std::size_t>(put);
            last_progress = Clock::now();
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR) {
            return Write::failed;
        }
        if (!program_attached()) {
            return Write::detached;
        }
        if (Clock::now() - last_progress >= stall) {
            return Write::stalled;
        }
        pollfd p[2] = {{master_, POLLOUT, 0}, {watch_, POLLIN, 0}};
        ::poll(p, watch_ >= 0 ? 2 : 1, 100);
    }
    return Write::done;
}

PtyLine::Write PtyLine::write(std::string_view bytes) {
    return write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::size_t PtyLine::read(std::uint8_t* buffer, std::size_t size, int timeout_ms) {
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0 || (p.revents & POLLIN) == 0) {
        return 0;
    }
    const ssize_t got = ::read(master_, buffer, size);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

void PtyLine::drop_unread() {
    ::tcflush(slave_, TCIFLUSH);
}

}  // namespace vetra::sim
