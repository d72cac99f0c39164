// termios2 lives in the kernel's headers, which clash with the C library's <termios.h>, so
// this file includes no other terminal header.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdlib>

#include "link/line_speed.h"

namespace vetra::link {
namespace {

// A UART divides its clock, so the driver may settle on a nearby rate. Both ends may be off
// a few per cent in all before the last bit of a byte is misread; we take half of that.
constexpr int kTolerancePerMille = 20;

}  // namespace

bool set_line_speed(int fd, int baud) {
    if (baud <= 0) {
        return false;
    }
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) {
        return false;
    }
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(baud);
    tio.c_ospeed = static_cast<speed_t>(baud);
    if (::ioctl(fd, TCSETS2, &tio) != 0) {
        return false;
    }
    return line_speed_is(fd, baud);
}

bool line_speed_is(int fd, int baud) {
    const std::optional<int> actual = line_speed(fd);
    return baud > 0 && actual &&
           std::llabs(static_cast<long long>(*actual) - baud) * 1000 <=
               static_cast<long long>(baud) * kTolerancePerMille;
}

std::optional<int> line_speed(int fd) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) {
        return std::nullopt;
    }
    return static_cast<int>(tio.c_ospeed);
}

}  // namespace vetra::link
