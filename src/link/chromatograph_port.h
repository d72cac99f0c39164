#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "analysis/cycle_status.h"
#include "library/operator.h"
#include "link/serial_port.h"

namespace vetra::link {

// The serial port to the chromatograph: opened by the main thread before a cycle, then read
// by the acquisition thread alone until it is closed again. It does not lock.
class ChromatographPort {
public:
    explicit ChromatographPort(library::Operator& op);

    // Stores the values for the next open_port; opens nothing.
    void set_port_params(std::string name, int speed, int parity_index, int stop_index);
    // Opens and configures the port; false when the port cannot be opened or refuses the
    // mode (its speed, say). Time-outs and RTS are applied as far as the line allows.
    [[nodiscard]] bool open_port();
    void close_port();
    [[nodiscard]] bool is_open() const { return port_.is_open(); }

    // The cycle program goes out in one write; the device answers or stays silent, so the
    // results are not checked here.
    void write_frame(const std::array<std::uint8_t, 9>& frame);
    // Reads single bytes until `text` has been seen. Gives up on the 10th mismatch in a row,
    // on a second of silence, or on a read error (with a short beep).
    [[nodiscard]] bool wait_for_text(std::string_view text);
    // One read of up to n bytes, bounded by the one-second time-outs.
    [[nodiscard]] bool raw_read(std::uint8_t* buffer, std::size_t n, std::size_t& count);
    ReadResult read(std::uint8_t* buffer, std::size_t n, std::stop_token stop = {}) {
        return port_.read(buffer, n, std::move(stop));
    }
    void clear_errors() { port_.clear_errors(); }

    [[nodiscard]] int status() const { return status_.load(); }
    void set_status(int status) { status_.store(status); }

    [[nodiscard]] const std::string& port_name() const { return port_name_; }
    [[nodiscard]] int speed() const { return speed_; }
    [[nodiscard]] int parity_index() const { return parity_index_; }
    [[nodiscard]] int stop_index() const { return stop_index_; }

    // "speed,letter,8,stop". Parity indices 0..4 are n, o, e, m, s; stop indices 0..2 are
    // "1", "1.5", "2". An unknown parity index leaves the letter out (no parity), an unknown
    // stop index gives one stop bit.
    static std::string mode_string(int speed, int parity_index, int stop_index);

private:
    library::Operator& operator_;
    SerialPort port_;
    std::string port_name_ = "COM1";
    int parity_index_ = 2;
    int stop_index_ = 0;
    int speed_ = 38400;
    // Set by the acquisition thread, read by the main thread.
    std::atomic<int> status_{analysis::kStatusNoError};
};

}  // namespace vetra::link
