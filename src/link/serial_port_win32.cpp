#include "link/serial_port.h"

#include <windows.h>

#include <algorithm>
#include <chrono>

#include "library/utf8_path.h"

namespace vetra::link {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr DWORD kWriteTimeoutMs = 1000;

HANDLE handle_of(library::NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

BYTE parity_code(Parity parity) {
    switch (parity) {
        case Parity::odd:
            return ODDPARITY;
        case Parity::even:
            return EVENPARITY;
        case Parity::mark:
            return MARKPARITY;
        case Parity::space:
            return SPACEPARITY;
        case Parity::none:
            break;
    }
    return NOPARITY;
}

BYTE stop_bits_code(StopBits bits) {
    switch (bits) {
        case StopBits::one_and_half:
            return ONE5STOPBITS;
        case StopBits::two:
            return TWOSTOPBITS;
        case StopBits::one:
            break;
    }
    return ONESTOPBIT;
}

// One slice of waiting: a read returns as soon as a byte is there, or after `wait_ms` with
// nothing (Wine waits out the whole slice even when a byte came; the bytes are kept).
bool set_read_slice(HANDLE port, DWORD wait_ms) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = wait_ms > 0 ? MAXDWORD : 0;
    t.ReadTotalTimeoutConstant = wait_ms;
    t.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    return ::SetCommTimeouts(port, &t) != 0;
}

int millis_until(SteadyClock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

}  // namespace

bool SerialPort::open(std::string_view name) {
    close();
    const std::filesystem::path device = library::path_from_utf8(windows_device_name(name));
    // No sharing: the port is ours alone while open.
    HANDLE port = ::CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port, &dcb) || !set_read_slice(port, 0)) {
        ::CloseHandle(port);  // not a serial port
        return false;
    }
    handle_ = reinterpret_cast<library::NativeHandle>(port);
    timeouts_ = {};
    return true;
}

void SerialPort::close() {
    if (handle_ == library::kInvalidHandle) {
        return;
    }
    ::CloseHandle(handle_of(handle_));
    handle_ = library::kInvalidHandle;
}

bool SerialPort::apply_mode(std::string_view mode) {
    auto parsed = parse_mode(mode);
    return parsed && apply(*parsed);
}

bool SerialPort::apply(const SerialMode& mode) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!is_open() || mode.baud <= 0 || !::GetCommState(handle_of(handle_), &dcb)) {
        return false;
    }
    dcb.BaudRate = static_cast<DWORD>(mode.baud);
    dcb.ByteSize = static_cast<BYTE>(mode.data_bits);
    dcb.Parity = parity_code(mode.parity);
    dcb.StopBits = stop_bits_code(mode.stop_bits);
    dcb.fBinary = TRUE;
    dcb.fParity = mode.parity != Parity::none;
    // A line error makes reads fail until cleared; read() clears it and goes on.
    dcb.fAbortOnError = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!::SetCommState(handle_of(handle_), &dcb)) {
        return false;
    }
    // A driver may round a rate it does not support instead of refusing it.
    return line_speed() == mode.baud;
}

std::optional<int> SerialPort::line_speed() const {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!is_open() || !::GetCommState(handle_of(handle_), &dcb)) {
        return std::nullopt;
    }
    return static_cast<int>(dcb.BaudRate);
}

bool SerialPort::set_hardware_flow(bool on) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!is_open() || !::GetCommState(handle_of(handle_), &dcb)) {
        return false;
    }
    dcb.fOutxCtsFlow = on;
    dcb.fRtsControl = on ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    return ::SetCommState(handle_of(handle_), &dcb) != 0;
}

bool SerialPort::set_queue_sizes(std::size_t input, std::size_t output) {
    return is_open() && ::SetupComm(handle_of(handle_), static_cast<DWORD>(input),
                                    static_cast<DWORD>(output)) != 0;
}

bool SerialPort::set_timeouts(int interval_ms, int total_multiplier_ms, int total_constant_ms) {
    if (!is_open() || interval_ms < 0 || total_multiplier_ms < 0 || total_constant_ms < 0) {
        return false;
    }
    timeouts_ = {interval_ms, total_multiplier_ms, total_constant_ms};
    return true;
}

// The time-outs are kept here, not given to the driver: the read waits in slices of at most
// kStopLatency, so a stop request is seen promptly, and applies the limits itself as the
// POSIX half does.
ReadResult SerialPort::read(std::uint8_t* buffer, std::size_t n, std::stop_token stop) {
    ReadResult result{is_open(), 0};
    if (!is_open() || n == 0) {
        return result;
    }
    HANDLE port = handle_of(handle_);
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
    DWORD slice_in_force = MAXDWORD;

    while (result.count < n && !stop.stop_requested()) {
        int wait_ms = static_cast<int>(kStopLatency.count());
        if (immediate) {
            wait_ms = 0;
        } else {
            auto deadline = total_deadline;
            if (interval_deadline && (!deadline || *interval_deadline < *deadline)) {
                deadline = interval_deadline;
            }
            if (deadline) {
                const int left = millis_until(*deadline);
                if (left == 0) {
                    break;
                }
                wait_ms = std::min(wait_ms, left);
            }
        }
        const auto slice = static_cast<DWORD>(wait_ms);
        if (slice != slice_in_force) {
            if (!set_read_slice(port, slice)) {
                result.ok = false;
                break;
            }
            slice_in_force = slice;
        }
        DWORD got = 0;
        if (!::ReadFile(port, buffer + result.count, static_cast<DWORD>(n - result.count), &got,
                        nullptr)) {
            if (::GetLastError() != ERROR_OPERATION_ABORTED || !clear_errors()) {
                result.ok = false;
                break;
            }
            continue;  // a line error: the byte is lost, the line is still there
        }
        if (got > 0) {
            result.count += got;
            if (timeouts_.interval_ms > 0) {
                interval_deadline =
                    SteadyClock::now() + std::chrono::milliseconds(timeouts_.interval_ms);
            }
        } else if (immediate) {
            break;
        }
    }
    return result;
}

bool SerialPort::write(std::span<const std::uint8_t> bytes) {
    if (!is_open()) {
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        if (!::WriteFile(handle_of(handle_), bytes.data() + done,
                         static_cast<DWORD>(bytes.size() - done), &put, nullptr) ||
            put == 0) {
            return false;  // the write time-out passed
        }
        done += put;
    }
    return true;
}

bool SerialPort::flush() {
    return is_open() && ::FlushFileBuffers(handle_of(handle_)) != 0;
}

bool SerialPort::set_rts(bool on) {
    return is_open() && ::EscapeCommFunction(handle_of(handle_), on ? SETRTS : CLRRTS) != 0;
}

bool SerialPort::clear_errors() {
    DWORD errors = 0;
    COMSTAT status{};
    return is_open() && ::ClearCommError(handle_of(handle_), &errors, &status) != 0;
}

}  // namespace vetra::link
