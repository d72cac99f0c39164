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

}  // namespace

RemoteMessage parse_remote_message(std::string_view bytes) {
    if (const auto zero = bytes.find('\0'); zero != std::string_view::npos) {
        bytes = bytes.substr(0, zero);
    }
    const std::string text = library::cp1251_to_utf8(bytes);
    const auto lines = split_lines(text);

    RemoteMessage m;
    const std::string operation = library::to_lower(value_of(lines, "operation").value_or(""));
    if (const auto period = value_of(lines, "time_period")) {
        m.time_period = library::parse_int(*period).value_or(-1);
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
        m.mode_value = value ? library::parse_int(*value).value_or(2) : 2;
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
    if (m.operation == kMode) {
        mode_value_ = m.mode_value;
    }
    return m.operation;
}

}  // namespace vetra::link
