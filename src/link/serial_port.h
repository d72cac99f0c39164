#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>

#include "library/native_handle.h"

namespace vetra::link {

// Port names are given the Windows way ("COM1", "\\.\COM10"); these turn them into what the
// platform opens.

// Long names ("COM10" and up) must go through the device namespace on Windows, so a name of
// more than 4 characters gets the "\\.\" prefix (unless it already has it).
std::string windows_device_name(std::string_view name);

// The POSIX node for a port name: a "\\.\" prefix is dropped, "COMn" (any case, n >= 1) is
// "/dev/ttyS{n-1}", a name starting with "/" is a path, any other name is looked up in /dev.
std::string posix_device_path(std::string_view name);

enum class Parity { none, odd, even, mark, space };
enum class StopBits { one, one_and_half, two };

// What a mode string such as "19200,n,8,1" asks for.
struct SerialMode {
    int baud = 0;
    Parity parity = Parity::none;
    int data_bits = 8;
    StopBits stop_bits = StopBits::one;

    friend bool operator==(const SerialMode&, const SerialMode&) = default;
};

// Parses "speed,parity,data,stop" as the platform's mode strings are written: parity one of
// n/o/e/m/s in either case, or empty for no parity; data bits 5..8; stop bits "1", "1.5" or
// "2". Blanks around a field are allowed. Nothing else is accepted.
std::optional<SerialMode> parse_mode(std::string_view text);

struct ReadResult {
    bool ok = false;
    std::size_t count = 0;
};

// Read time-outs with the meaning the Windows port API gives them: a read ends when all bytes
// are in, when total_constant + total_multiplier * n ms have passed since it began, or when
// more than interval ms pass between two bytes. A zero value switches that limit off; all
// three zero means a read returns at once with what is buffered.
struct ReadTimeouts {
    int interval_ms = 0;
    int total_multiplier_ms = 0;
    int total_constant_ms = 0;
};

// A serial port opened exclusively, with synchronous reads bounded by the time-outs above.
// One thread uses a port at a time; nothing here locks and nothing throws. Two halves:
// termios on POSIX, CreateFileW/DCB/COMMTIMEOUTS on Windows.
class SerialPort {
public:
    static constexpr std::chrono::milliseconds kStopLatency{50};

    SerialPort() = default;
    ~SerialPort();
    SerialPort(SerialPort&& other) noexcept;
    SerialPort& operator=(SerialPort&& other) noexcept;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the port named the Windows way (see posix_device_path); an open port is closed
    // first. False when the port is missing, is not a serial port, or is held by someone else.
    [[nodiscard]] bool open(std::string_view name);
    void close();
    [[nodiscard]] bool is_open() const { return handle_ != library::kInvalidHandle; }

    // Raw 8-bit line with the given mode; a malformed mode string changes nothing. Any rate
    // the driver accepts; false when it refuses the rate or runs the line at another one.
    [[nodiscard]] bool apply_mode(std::string_view mode);
    [[nodiscard]] bool apply(const SerialMode& mode);
    // The rate the driver has in force.
    [[nodiscard]] std::optional<int> line_speed() const;
    // RTS/CTS flow control; apply() switches it off.
    bool set_hardware_flow(bool on);
    // The driver's queue sizes (Windows); POSIX drivers size their own, so there they are
    // accepted and ignored.
    bool set_queue_sizes(std::size_t input, std::size_t output);
    // False for negative values, which leaves the time-outs as they were.
    [[nodiscard]] bool set_timeouts(int interval_ms, int total_multiplier_ms,
                                    int total_constant_ms);
    [[nodiscard]] const ReadTimeouts& timeouts() const { return timeouts_; }

    // Up to n bytes within the time-outs; a time-out is success with what arrived. Failure
    // means the line itself is gone (hang-up, I/O error) or the port is closed. A stop
    // request ends the wait within kStopLatency, also as success with what arrived.
    ReadResult read(std::uint8_t* buffer, std::size_t n, std::stop_token stop = {});
    // All bytes or failure; gives up after one second.
    bool write(std::span<const std::uint8_t> bytes);
    // Waits until the output has left.
    bool flush();
    bool set_rts(bool on);
    // Clears the line's error state (Windows; a POSIX line keeps none).
    bool clear_errors();

    [[nodiscard]] library::NativeHandle native_handle() const { return handle_; }

private:
    library::NativeHandle handle_ = library::kInvalidHandle;
    ReadTimeouts timeouts_{};
};

}  // namespace vetra::link
