#include "link/chromatograph_port.h"

#include <utility>

namespace vetra::link {

namespace {

constexpr int kTimeoutMs = 1000;
constexpr std::size_t kInputQueue = 50000;
constexpr int kMaxMismatches = 10;
constexpr int kErrorBeepHz = 1000;
constexpr int kErrorBeepMs = 20;

}  // namespace

ChromatographPort::ChromatographPort(library::Operator& op) : operator_(op) {}

void ChromatographPort::set_port_params(std::string name, int speed, int parity_index,
                                        int stop_index) {
    port_name_ = std::move(name);
    speed_ = speed;
    parity_index_ = parity_index;
    stop_index_ = stop_index;
}

std::string ChromatographPort::mode_string(int speed, int parity_index, int stop_index) {
    static constexpr std::string_view kParity[] = {"n", "o", "e", "m", "s"};
    static constexpr std::string_view kStop[] = {"1", "1.5", "2"};
    std::string_view parity = parity_index >= 0 && parity_index < 5 ? kParity[parity_index] : "";
    std::string_view stop = stop_index >= 0 && stop_index < 3 ? kStop[stop_index] : "1";
    return std::to_string(speed) + "," + std::string(parity) + ",8," + std::string(stop);
}

bool ChromatographPort::open_port() {
    if (!port_.open(windows_device_name(port_name_))) {
        return false;
    }
    // A line left in the terminal's cooked mode would alter the program frame and the data,
    // so a port that cannot take the mode counts as one that cannot be opened.
    if (!port_.apply_mode(mode_string(speed_, parity_index_, stop_index_))) {
        port_.close();
        return false;
    }
    port_.set_queue_sizes(kInputQueue, 0);
    (void)port_.set_timeouts(kTimeoutMs, 0, kTimeoutMs);
    port_.set_rts(true);
    return true;
}

void ChromatographPort::close_port() {
    port_.close();
}

void ChromatographPort::write_frame(const std::array<std::uint8_t, 9>& frame) {
    port_.write(frame);
    port_.flush();
}

bool ChromatographPort::wait_for_text(std::string_view text) {
    std::size_t position = 0;
    int mismatches = 0;
    while (position < text.size()) {
        std::uint8_t byte = 0;
        ReadResult got = port_.read(&byte, 1);
        if (!got.ok) {
            port_.clear_errors();
            operator_.beep(kErrorBeepHz, kErrorBeepMs);
            return false;
        }
        if (got.count == 0) {
            return false;
        }
        if (byte == static_cast<std::uint8_t>(text[position])) {
            mismatches = 0;
            ++position;
        } else {
            // The breaking byte is dropped, not tried against the start of the text.
            position = 0;
            if (++mismatches >= kMaxMismatches) {
                return false;
            }
        }
    }
    return true;
}

bool ChromatographPort::raw_read(std::uint8_t* buffer, std::size_t n, std::size_t& count) {
    ReadResult got = port_.read(buffer, n);
    count = got.count;
    return got.ok;
}

}  // namespace vetra::link
