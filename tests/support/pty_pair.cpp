#include "support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <stdexcept>

namespace vetra::test {

namespace {

void make_raw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
}

}  // namespace

PtyPair::PtyPair() {
    std::array<char, 128> name{};
    if (::openpty(&master_, &slave_, name.data(), nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    make_raw(master_);
    make_raw(slave_);
    slave_path_ = name.data();
}

PtyPair::~PtyPair() {
    close_master();
    if (slave_ >= 0) {
        ::close(slave_);
    }
}

void PtyPair::write(std::string_view bytes) const {
    while (!bytes.empty()) {
        ssize_t put = ::write(master_, bytes.data(), bytes.size());
        if (put > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(put));
            continue;
        }
        if (put < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd entry{master_, POLLOUT, 0};
            ::poll(&entry, 1, 100);
            continue;
        }
        throw std::runtime_error("write to the pseudo-terminal failed");
    }
}

std::string PtyPair::read(std::size_t n, std::chrono::milliseconds deadline) const {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + deadline;
    std::string bytes;
    while (bytes.size() < n) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd entry{master_, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        std::array<char, 256> chunk{};
        ssize_t got = ::read(master_, chunk.data(), std::min(chunk.size(), n - bytes.size()));
        if (got > 0) {
            bytes.append(chunk.data(), static_cast<std::size_t>(got));
        } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;
        }
    }
    return bytes;
}

termios PtyPair::slave_termios() const {
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) {
        throw std::runtime_error("tcgetattr failed");
    }
    return tio;
}

void PtyPair::close_master() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

std::size_t open_descriptor_count() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

}  // namespace vetra::test
