#pragma once

#include <cstdint>

namespace vetra::library {

// An open file, port or mailslot of the platform, as headers shared by both halves of a
// platform layer hold it: a descriptor on POSIX, a HANDLE on Windows. -1 is the invalid value
// of both (INVALID_HANDLE_VALUE is the all-ones pointer).
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kInvalidHandle = -1;

}  // namespace vetra::library
