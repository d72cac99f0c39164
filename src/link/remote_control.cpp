#include "link/remote_control.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "library/cp1251.h"
#include "library/number_text.h"

namespace vetra::link {
namespace {

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return lines;
}

std::optional<std::string> value_of(const std::vector<std::string_view>& lines,
                                    std::string_view name) {
    for (const auto line : lines) {
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        if (library::equals_ignore_case(library::trim(line.substr(0, eq)), name)) {
            return std::string(library::trim(line.substr(eq + 1)));
        }
    }
    return std::nullopt;
}

// What the journal shows of a message: a station's message is a few short lines.
std::string message_text(const std::vector<std::string_view>& lines) {
    std::string text;
    for (const auto line : lines) {
        const auto trimmed = library::trim(line);
        if (!trimmed.empty()) {
            text += (text.empty() ? "" : "; ") + std::string(trimmed);
        }
    }
    if (text.size() > RemoteMessage::kTextLimit) {
        std::size_t cut = RemoteMessage::kTextLimit;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
            --cut;  // not inside a character
        }
        text = text.substr(0, cut) + "…";
    }
    return text;
}

}  // namespace

RemoteMessage parse_remote_message(std::string_view bytes) {
    if (const auto zero = bytes.find('\0'); zero != std::string_view::npos) {
        bytes = bytes.substr(0, zero);
    }
    const std::string text = library::cp1251_to_utf8(bytes);
    const auto lines = split_lines(text);

    RemoteMessage m;
    m.text = message_text(lines);
    const std::string operation = library::to_lower(value_of(lines, "operation").value_or(""));
    if (const auto period = value_of(lines, "time_period")) {
        const auto value = library::parse_int(*period);
        m.time_period = value && *value >= 0 ? *value : RemoteSource::kBadValue;
    }
    if (const auto depth = value_of(lines, "depth")) {
        const double d = library::parse_number(*depth).value_or(0.0);
        m.depth = std::isfinite(d) && std::fabs(d) <= std::numeric_limits<float>::max()
                      ? static_cast<float>(d)
                      : 0.0f;
    }
    if (operation == "start") {
        m.operation = RemoteSource::kStart;
    } else if (operation == "mode") {
        m.operation = RemoteSource::kMode;
        const auto value = value_of(lines, "value");
        m.mode_value = value ? library::parse_int(*value).value_or(RemoteSource::kBadValue) : 2;
    }
    return m;
}

RemoteControl::RemoteControl(std::string_view name) : server_(name, kRemoteMessageSize) {}

int RemoteControl::poll() {
    const auto message = server_.read_next();
    if (!message || message->empty()) {
        return kNone;
    }
    const RemoteMessage m = parse_remote_message(*message);
    depth_ = m.depth;
    time_period_ = m.time_period;
    text_ = m.text;
    if (m.operation == kMode) {
        mode_value_ = m.mode_value;
    }
    return m.operation;
}

}  // namespace vetra::link
