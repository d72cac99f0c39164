#pragma once

#include <optional>

namespace vetra::link {

// Any line rate the driver accepts, not only those with a termios constant (14400, 56000,
// 128000, 256000 ... are common on instruments). Linux: termios2 with BOTHER. False when
// the driver refuses the request or settles on a rate too far from the one asked for.
bool set_line_speed(int fd, int baud);

// The output rate the driver has in force; nothing when it cannot be read.
std::optional<int> line_speed(int fd);

// Whether the driver runs the line close enough to `baud` (tcsetattr does not tell).
bool line_speed_is(int fd, int baud);

}  // namespace vetra::link
