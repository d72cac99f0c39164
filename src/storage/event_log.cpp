#include "storage/event_log.h"

#include <cstdio>

#include "library/atomic_file.h"
#include "library/clock.h"
#include "library/cp1251.h"
#include "library/utf8_path.h"

namespace vetra::storage {

std::string event_stamp(const library::LocalTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "[%i:%02i:%02i %i.%02i.%i]     ", t.hour, t.minute, t.second,
                  t.day, t.month, t.year);
    return text;
}

void EventLog::attach(std::string path) {
    path_ = std::move(path);
    lines_.clear();
    if (const auto bytes = library::read_whole_file(library::path_from_utf8(path_))) {
        const std::string text = library::cp1251_to_utf8(*bytes);
        std::size_t begin = 0;
        while (begin < text.size()) {
            std::size_t end = text.find('\n', begin);
            if (end == std::string::npos) {
                end = text.size();
            }
            std::string line = text.substr(begin, end - begin);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines_.push_back(std::move(line));
            begin = end + 1;
        }
    }
    changed();
}

void EventLog::add(const std::string& text) {
    if (lines_.size() > static_cast<std::size_t>(kEventLogKeep)) {
        lines_.erase(lines_.begin(),
                     lines_.begin() + static_cast<std::ptrdiff_t>(lines_.size() - kEventLogKeep));
    }
    lines_.push_back(text.empty() ? std::string() : event_stamp(clock_.local_now()) + text);
    (void)save();  // a full disk must not stop the program; the next line tries again
    changed();
}

void EventLog::clear() {
    lines_.clear();
    changed();
}

bool EventLog::save() const {
    if (path_.empty()) {
        return false;
    }
    std::string text;
    for (const auto& line : lines_) {
        text += line;
        text += "\r\n";
    }
    std::error_code error;
    const bool ok = library::write_file_atomically(library::path_from_utf8(path_),
                                                   library::utf8_to_cp1251(text), &error);
    if (reporter_ != nullptr) {
        reporter_->report(path_, ok, error);
    }
    return ok;
}

}  // namespace vetra::storage
