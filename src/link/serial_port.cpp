#include "link/serial_port.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <utility>
#include <vector>

namespace vetra::link {

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

bool iequals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<int> parse_decimal(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<Parity> parse_parity(std::string_view text) {
    if (text.empty()) {
        return Parity::none;
    }
    if (text.size() != 1) {
        return std::nullopt;
    }
    switch (std::tolower(static_cast<unsigned char>(text.front()))) {
        case 'n':
            return Parity::none;
        case 'o':
            return Parity::odd;
        case 'e':
            return Parity::even;
        case 'm':
            return Parity::mark;
        case 's':
            return Parity::space;
        default:
            return std::nullopt;
    }
}

std::optional<StopBits> parse_stop_bits(std::string_view text) {
    if (text == "1") {
        return StopBits::one;
    }
    if (text == "1.5") {
        return StopBits::one_and_half;
    }
    if (text == "2") {
        return StopBits::two;
    }
    return std::nullopt;
}

}  // namespace

std::string windows_device_name(std::string_view name) {
    if (name.size() > 4 && !name.starts_with(kDevicePrefix)) {
        return std::string(kDevicePrefix) + std::string(name);
    }
    return std::string(name);
}

std::string posix_device_path(std::string_view name) {
    if (name.starts_with(kDevicePrefix)) {
        name.remove_prefix(kDevicePrefix.size());
    }
    if (name.starts_with("/")) {
        return std::string(name);
    }
    if (name.size() > 3 && iequals(name.substr(0, 3), "COM")) {
        auto number = parse_decimal(name.substr(3));
        if (number && *number >= 1 && std::isdigit(static_cast<unsigned char>(name[3]))) {
            return "/dev/ttyS" + std::to_string(*number - 1);
        }
    }
    return "/dev/" + std::string(name);
}

std::optional<SerialMode> parse_mode(std::string_view text) {
    std::vector<std::string_view> fields;
    for (;;) {
        auto comma = text.find(',');
        fields.push_back(trim(text.substr(0, comma)));
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    if (fields.size() != 4) {
        return std::nullopt;
    }
    auto baud = parse_decimal(fields[0]);
    auto parity = parse_parity(fields[1]);
    auto data_bits = parse_decimal(fields[2]);
    auto stop_bits = parse_stop_bits(fields[3]);
    if (!baud || *baud <= 0 || !parity || !data_bits || *data_bits < 5 || *data_bits > 8 ||
        !stop_bits) {
        return std::nullopt;
    }
    return SerialMode{*baud, *parity, *data_bits, *stop_bits};
}

SerialPort::~SerialPort() {
    close();
}

SerialPort::SerialPort(SerialPort&& other) noexcept
    : handle_(std::exchange(other.handle_, library::kInvalidHandle)), timeouts_(other.timeouts_) {}

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, library::kInvalidHandle);
        timeouts_ = other.timeouts_;
    }
    return *this;
}

}  // namespace vetra::link
