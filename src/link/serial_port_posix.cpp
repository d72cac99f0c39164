#include "link/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <utility>

#include "link/line_speed.h"

namespace vetra::link {
namespace {

using SteadyClock = std::chrono::steady_clock;

int fd_of(library::NativeHandle handle) {
    return static_cast<int>(handle);
}

constexpr std::chrono::milliseconds kWriteTimeout{1000};

std::optional<speed_t> termios_speed(int baud) {
    static constexpr std::array<std::pair<int, speed_t>, 23> kSpeeds{{
        {50, B50},         {75, B75},         {110, B110},         {134, B134},
        {150, B150},       {200, B200},       {300, B300},         {600, B600},
        {1200, B1200},     {1800, B1800},     {2400, B2400},       {4800, B4800},
        {9600, B9600},     {19200, B19200},   {38400, B38400},     {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800},   {500000, B500000},
        {576000, B576000}, {921600, B921600}, {1000000, B1000000},
    }};
    for (const auto& [value, code] : kSpeeds) {
        if (value == baud) {
            return code;
        }
    }
    return std::nullopt;
}

tcflag_t data_bits_flag(int bits) {
    switch (bits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

// Milliseconds left until a deadline, rounded up so that poll does not wake early.
int millis_until(SteadyClock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

enum class Wait { ready, timed_out, failed };

Wait wait_for(int fd, short events, int timeout_ms) {
    pollfd entry{fd, events, 0};
    for (;;) {
        int rc = ::poll(&entry, 1, timeout_ms);
        if (rc > 0) {
            // A hang-up with data still queued reads the data first.
            return (entry.revents & events) != 0 ? Wait::ready : Wait::failed;
        }
        if (rc == 0) {
            return Wait::timed_out;
        }
        if (errno != EINTR) {
            return Wait::failed;
        }
    }
}

}  // namespace

bool SerialPort::open(std::string_view name) {
    close();
    const std::string path = posix_device_path(name);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // TIOCEXCL keeps out other openers (but not root); the flock also keeps out another
    // instance of this program running as root.
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    timeouts_ = {};
    return true;
}

void SerialPort::close() {
    if (handle_ < 0) {
        return;
    }
    // The exclusive flag stays on the terminal otherwise, and our own reopen would be refused.
    ::ioctl(fd_of(handle_), TIOCNXCL);
    ::close(fd_of(handle_));
    handle_ = library::kInvalidHandle;
}

bool SerialPort::apply_mode(std::string_view mode) {
    auto parsed = parse_mode(mode);
    return parsed && apply(*parsed);
}

bool SerialPort::apply(const SerialMode& mode) {
    termios tio{};
    if (handle_ < 0 || mode.baud <= 0 || ::tcgetattr(fd_of(handle_), &tio) != 0) {
        return false;
    }
    // A rate without a constant is set afterwards, through the driver's own request.
    const std::optional<speed_t> constant = termios_speed(mode.baud);
    const speed_t speed = constant.value_or(B38400);
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= data_bits_flag(mode.data_bits) | CREAD | CLOCAL;
    tio.c_iflag &= ~(INPCK | IGNPAR | PARMRK);
    switch (mode.parity) {
        case Parity::none:
            break;
        case Parity::odd:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case Parity::even:
            tio.c_cflag |= PARENB;
            break;
        case Parity::mark:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case Parity::space:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
    }
    if (mode.parity != Parity::none) {
        tio.c_iflag |= INPCK;
    }
    // POSIX has no 1.5 stop bits; two is the nearest that a receiver accepts.
    if (mode.stop_bits != StopBits::one) {
        tio.c_cflag |= CSTOPB;
    }
    // Reads never block in the driver: poll does the waiting.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 ||
        ::tcsetattr(fd_of(handle_), TCSANOW, &tio) != 0) {
        return false;
    }
    return constant ? line_speed_is(fd_of(handle_), mode.baud)
                    : set_line_speed(fd_of(handle_), mode.baud);
}

std::optional<int> SerialPort::line_speed() const {
    return handle_ < 0 ? std::nullopt : link::line_speed(fd_of(handle_));
}

bool SerialPort::set_hardware_flow(bool on) {
    termios tio{};
    if (handle_ < 0 || ::tcgetattr(fd_of(handle_), &tio) != 0) {
        return false;
    }
    if (on) {
        tio.c_cflag |= CRTSCTS;
    } else {
        tio.c_cflag &= ~CRTSCTS;
    }
    return ::tcsetattr(fd_of(handle_), TCSANOW, &tio) == 0;
}

bool SerialPort::set_queue_sizes(std::size_t /*input*/, std::size_t /*output*/) {
    return is_open();
}

bool SerialPort::set_timeouts(int interval_ms, int total_multiplier_ms, int total_constant_ms) {
    if (handle_ < 0 || interval_ms < 0 || total_multiplier_ms < 0 || total_constant_ms < 0) {
        return false;
    }
    timeouts_ = {interval_ms, total_multiplier_ms, total_constant_ms};
    return true;
}

ReadResult SerialPort::read(std::uint8_t* buffer, std::size_t n, std::stop_token stop) {
    ReadResult result{handle_ >= 0, 0};
    if (handle_ < 0 || n == 0) {
        return result;
    }
    const auto start = SteadyClock::now();
    const bool immediate = timeouts_.interval_ms == 0 && timeouts_.total_multiplier_ms == 0 &&
                           timeouts_.total_constant_ms == 0;
    const auto total_ms =
        static_cast<long long>(timeouts_.total_multiplier_ms) * static_cast<long long>(n) +
        timeouts_.total_constant_ms;
    std::optional<SteadyClock::time_point> total_deadline;
    if (total_ms > 0) {
        total_deadline = start + std::chrono::milliseconds(total_ms);
    }
    std::optional<SteadyClock::time_point> interval_deadline;

    const bool stoppable = stop.stop_possible();
    while (result.count < n) {
        if (stop.stop_requested()) {
            break;
        }
        int timeout_ms = -1;
        if (immediate) {
            timeout_ms = 0;
        } else {
            auto deadline = total_deadline;
            if (interval_deadline && (!deadline || *interval_deadline < *deadline)) {
                deadline = interval_deadline;
            }
            if (deadline) {
                timeout_ms = millis_until(*deadline);
                if (timeout_ms == 0) {
                    break;
                }
            }
        }
        // A stoppable read waits in short slices, so a stop request is seen promptly.
        const bool sliced =
            stoppable && (timeout_ms < 0 || timeout_ms > static_cast<int>(kStopLatency.count()));
        if (sliced) {
            timeout_ms = static_cast<int>(kStopLatency.count());
        }
        Wait wait = wait_for(fd_of(handle_), POLLIN, timeout_ms);
        if (wait == Wait::timed_out) {
            if (sliced) {
                continue;
            }
            break;
        }
        if (wait == Wait::failed) {
            result.ok = false;
            break;
        }
        ssize_t got = ::read(fd_of(handle_), buffer + result.count, n - result.count);
        if (got > 0) {
            result.count += static_cast<std::size_t>(got);
            if (timeouts_.interval_ms > 0) {
                interval_deadline =
                    SteadyClock::now() + std::chrono::milliseconds(timeouts_.interval_ms);
            }
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        // Readable but nothing to read: the line was hung up.
        result.ok = false;
        break;
    }
    return result;
}

bool SerialPort::write(std::span<const std::uint8_t> bytes) {
    if (handle_ < 0) {
        return false;
    }
    const auto deadline = SteadyClock::now() + kWriteTimeout;
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = ::write(fd_of(handle_), bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        int timeout_ms = millis_until(deadline);
        if (timeout_ms == 0 || wait_for(fd_of(handle_), POLLOUT, timeout_ms) != Wait::ready) {
            return false;
        }
    }
    return true;
}

bool SerialPort::flush() {
    return handle_ >= 0 && ::tcdrain(fd_of(handle_)) == 0;
}

bool SerialPort::set_rts(bool on) {
    int bits = TIOCM_RTS;
    return handle_ >= 0 && ::ioctl(fd_of(handle_), on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

bool SerialPort::clear_errors() {
    return is_open();
}

}  // namespace vetra::link
