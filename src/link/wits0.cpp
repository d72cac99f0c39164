#include "link/wits0.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "library/number_text.h"

namespace vetra::link {
namespace {

std::string two_digits(int a, int b, int c) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d%02d%02d", a % 100, b % 100, c % 100);
    return buffer;
}

std::string date_text(const library::LocalTime& t) {
    return two_digits(t.year % 100, t.month, t.day);
}

std::string time_text(const library::LocalTime& t) {
    return two_digits(t.hour, t.minute, t.second);
}

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::string wits_packet(const std::vector<WitsItem>& items) {
    std::string packet = "&&\r\n";
    for (const auto& item : items) {
        char head[8];
        std::snprintf(head, sizeof head, "%02d%02d", item.record % 100, item.item % 100);
        packet += head;
        packet += item.value;
        packet += "\r\n";
    }
    packet += "!!\r\n";
    return packet;
}

std::string wits_number(double value, int decimals) {
    if (!std::isfinite(value)) {
        return "-9999";
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string text = buffer;
    // snprintf follows LC_NUMERIC, which a window sets to the operator's comma.
    for (char& c : text) {
        if (c == ',') {
            c = '.';
        }
    }
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') {
            text.pop_back();
        }
        if (text.back() == '.') {
            text.pop_back();
        }
    }
    if (text == "-0") {
        text = "0";
    }
    return text;
}

std::optional<int> wits_gas_item(std::string_view code) {
    std::string latin(code);
    // "С" in Cyrillic (UTF-8 D0 A1 / D1 81) looks the same as the Latin letter.
    if (latin.rfind("\xD0\xA1", 0) == 0 || latin.rfind("\xD1\x81", 0) == 0) {
        latin.replace(0, 2, "C");
    }
    if (!latin.empty() && latin[0] == 'c') {
        latin[0] = 'C';
    }
    if (!latin.empty() && latin.back() == 'I') {
        latin.back() = 'i';
    }
    static const std::array<std::pair<const char*, int>, 9> kItems{{
        {"C1", 12},
        {"C2", 13},
        {"C3", 14},
        {"C4i", 15},
        {"C4", 16},
        {"C5i", 17},
        {"C5", 18},
        {"C6i", 20},
        {"C6", 21},
    }};
    for (const auto& [known, item] : kItems) {
        if (latin == known) {
            return item;
        }
    }
    return std::nullopt;
}

std::string wits_cycle_packet(const library::LocalTime& time, double depth,
                              const std::vector<WitsGas>& gases) {
    std::vector<WitsItem> items{{12, 5, date_text(time)}, {12, 6, time_text(time)}};
    if (depth > 0) {
        items.push_back({12, 8, wits_number(depth, 2)});
    }
    for (const auto& gas : gases) {
        if (const auto item = wits_gas_item(gas.code)) {
            items.push_back({12, *item, wits_number(gas.percent * 10000.0, 1)});
        }
    }
    return wits_packet(items);
}

std::string wits_total_gas_packet(const library::LocalTime& time, double depth,
                                  double total_gas_percent) {
    std::vector<WitsItem> items{{1, 5, date_text(time)}, {1, 6, time_text(time)}};
    if (depth > 0) {
        items.push_back({1, 8, wits_number(depth, 2)});
    }
    items.push_back({1, 40, wits_number(total_gas_percent, 4)});
    return wits_packet(items);
}

void WitsParser::feed(std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t b : bytes) {
        if (b == '\n' || b == '\r') {
            end_line();
        } else if (line_.size() >= kMaxLine) {
            overlong_ = true;
        } else {
            line_.push_back(static_cast<char>(b));
        }
    }
}

void WitsParser::feed(std::string_view text) {
    feed(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                       text.size()));
}

void WitsParser::end_line() {
    std::string_view line(line_);
    while (!line.empty() && is_blank(line.front())) {
        line.remove_prefix(1);
    }
    while (!line.empty() && is_blank(line.back())) {
        line.remove_suffix(1);
    }
    if (overlong_ || line.empty()) {
        // A line cut short by the cap is not to be trusted, not even its first four digits.
    } else if (line.ends_with("&&")) {
        in_packet_ = true;
        pending_.clear();  // a packet never closed is dropped
    } else if (line.ends_with("!!")) {
        if (in_packet_) {
            for (const WitsItem& item : pending_) {
                on_item_(item);
            }
        }
        in_packet_ = false;
        pending_.clear();
    } else if (in_packet_ && line.size() >= 4 && pending_.size() < kMaxItems) {
        bool digits = true;
        for (int i = 0; i < 4; ++i) {
            digits = digits && line[static_cast<std::size_t>(i)] >= '0' &&
                     line[static_cast<std::size_t>(i)] <= '9';
        }
        if (digits) {
            WitsItem item;
            item.record = (line[0] - '0') * 10 + (line[1] - '0');
            item.item = (line[2] - '0') * 10 + (line[3] - '0');
            item.value = std::string(line.substr(4));
            pending_.push_back(std::move(item));
        }
    }
    line_.clear();
    overlong_ = false;
}

std::optional<double> wits_depth_value(std::string_view value) {
    const auto number = library::parse_number(value);
    if (!number || !std::isfinite(*number) || *number <= 1.0 || *number > 100000.0) {
        return std::nullopt;
    }
    return *number;
}

}  // namespace vetra::link
