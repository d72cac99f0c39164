#include "settings/ini_file.h"

#include <algorithm>

#include "library/atomic_file.h"
#include "library/cp1251.h"
#include "library/field_text.h"
#include "library/number_text.h"
#include "library/utf8_path.h"

namespace vetra::settings {
namespace {

using library::equals_ignore_case;
using library::trim;

std::vector<std::string> split_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') {
            ++start;
        }
    }
    return lines;
}

// "[name]" (blanks around allowed) gives the name.
std::optional<std::string_view> header_name(std::string_view line) {
    const std::string_view t = trim(line);
    if (t.size() < 2 || t.front() != '[') {
        return std::nullopt;
    }
    const auto close = t.find(']');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    return trim(t.substr(1, close - 1));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> key_value(std::string_view line) {
    const std::string_view t = trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '[') {
        return std::nullopt;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    return KeyValue{trim(line.substr(0, eq)), trim(line.substr(eq + 1))};
}

std::string unquote(std::string_view value) {
    if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                              (value.front() == '\'' && value.back() == '\''))) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

}  // namespace

bool IniFile::open(const std::string& utf8_path) {
    return open(library::path_from_utf8(utf8_path));
}

bool IniFile::open(const std::filesystem::path& path) {
    path_ = path;
    lines_.clear();
    headers_.clear();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        return true;
    }
    const auto bytes = library::read_whole_file(path);
    if (!bytes) {
        return false;
    }
    lines_ = split_lines(library::cp1251_to_utf8(*bytes));
    index_sections();
    return true;
}

IniFile IniFile::from_text(std::string_view utf8_text) {
    IniFile file;
    file.lines_ = split_lines(utf8_text);
    file.index_sections();
    return file;
}

bool IniFile::save(std::error_code* error) const {
    return save_as(path_, error);
}

bool IniFile::save_as(const std::filesystem::path& path, std::error_code* error) const {
    if (path.empty()) {
        if (error != nullptr) {
            *error = std::make_error_code(std::errc::invalid_argument);
        }
        return false;
    }
    return library::write_file_atomically(path, bytes(), error);
}

void IniFile::index_sections(std::size_t first) {
    while (!headers_.empty() && headers_.back().line >= first) {
        headers_.pop_back();
    }
    for (std::size_t i = first; i < lines_.size(); ++i) {
        if (const auto name = header_name(lines_[i])) {
            headers_.push_back({i, library::to_lower(*name)});
        }
    }
}

void IniFile::shift_sections(std::size_t from, std::ptrdiff_t by) {
    for (auto& header : headers_) {
        if (header.line >= from) {
            header.line = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(header.line) + by);
        }
    }
}

std::optional<IniFile::Range> IniFile::find_section(std::string_view section) const {
    const std::string wanted = library::to_lower(trim(section));
    for (std::size_t h = 0; h < headers_.size(); ++h) {
        if (headers_[h].folded == wanted) {
            const std::size_t end = h + 1 < headers_.size() ? headers_[h + 1].line : lines_.size();
            return Range{headers_[h].line, end};
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> IniFile::find_key(const Range& range, std::string_view key) const {
    const std::string_view wanted = trim(key);
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        const auto kv = key_value(lines_[i]);
        if (kv && equals_ignore_case(kv->key, wanted)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::string> IniFile::read(std::string_view section, std::string_view key) const {
    const auto range = find_section(section);
    if (!range) {
        return std::nullopt;
    }
    const auto index = find_key(*range, key);
    if (!index) {
        return std::nullopt;
    }
    return unquote(key_value(lines_[*index])->value);
}

std::string IniFile::read_string(std::string_view section, std::string_view key,
                                 std::string_view fallback) const {
    auto value = read(section, key);
    return value ? std::move(*value) : std::string(fallback);
}

std::int32_t IniFile::read_integer(std::string_view section, std::string_view key,
                                   std::int32_t fallback) const {
    const auto value = read(section, key);
    if (!value) {
        return fallback;
    }
    return library::parse_int(*value).value_or(fallback);
}

bool IniFile::read_bool(std::string_view section, std::string_view key, bool fallback) const {
    return read_integer(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::write_string(std::string_view section, std::string_view key, std::string_view value) {
    // A line break in a value would start a line of its own on the next load (a second
    // section, a key of another owner): no control character reaches the file.
    std::string line = library::single_line(trim(key)) + "=" + library::single_line(value);
    const auto range = find_section(section);
    if (!range) {
        lines_.push_back("[" + library::single_line(trim(section)) + "]");
        lines_.push_back(std::move(line));
        index_sections(lines_.size() - 2);
        return;
    }
    if (const auto index = find_key(*range, key)) {
        // A key with a control character before a "[" can come back as a header line.
        const bool header = header_name(line).has_value();
        lines_[*index] = std::move(line);
        if (header) {
            index_sections(*index);
        }
        return;
    }
    // After the section's last non-blank line, so a blank separator stays in place.
    std::size_t at = range->end;
    while (at > range->header + 1 && trim(lines_[at - 1]).empty()) {
        --at;
    }
    const bool header = header_name(line).has_value();
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    if (header) {
        index_sections(at);
    } else {
        shift_sections(at, 1);
    }
}

void IniFile::write_integer(std::string_view section, std::string_view key, std::int32_t value) {
    write_string(section, key, std::to_string(value));
}

void IniFile::write_bool(std::string_view section, std::string_view key, bool value) {
    write_string(section, key, value ? "1" : "0");
}

void IniFile::write_float(std::string_view section, std::string_view key, double value) {
    write_string(section, key, library::float_to_text(value));
}

void IniFile::erase_section(std::string_view section) {
    const auto range = find_section(section);
    if (range) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(range->header),
                     lines_.begin() + static_cast<std::ptrdiff_t>(range->end));
        index_sections(range->header);
    }
}

void IniFile::erase_key(std::string_view section, std::string_view key) {
    const auto range = find_section(section);
    if (!range) {
        return;
    }
    if (const auto index = find_key(*range, key)) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*index));
        shift_sections(*index, -1);
    }
}

void IniFile::replace_keys(std::string_view section,
                           const std::function<bool(std::string_view)>& drop,
                           const std::vector<std::pair<std::string, std::string>>& keys) {
    auto range = find_section(section);
    if (!range) {
        lines_.push_back("[" + library::single_line(trim(section)) + "]");
        index_sections(lines_.size() - 1);
        range = Range{lines_.size() - 1, lines_.size()};
    }
    std::vector<std::string> body;
    body.reserve(range->end - range->header - 1 + keys.size());
    for (std::size_t i = range->header + 1; i < range->end; ++i) {
        const auto kv = key_value(lines_[i]);
        if (!kv || !drop(kv->key)) {
            body.push_back(std::move(lines_[i]));
        }
    }
    // After the section's last non-blank line, so a blank separator stays in place.
    std::size_t at = body.size();
    while (at > 0 && trim(body[at - 1]).empty()) {
        --at;
    }
    std::vector<std::string> added;
    added.reserve(keys.size());
    for (const auto& [key, value] : keys) {
        added.push_back(library::single_line(trim(key)) + "=" + library::single_line(value));
    }
    body.insert(body.begin() + static_cast<std::ptrdiff_t>(at),
                std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    const auto first = lines_.begin() + static_cast<std::ptrdiff_t>(range->header + 1);
    lines_.erase(first, lines_.begin() + static_cast<std::ptrdiff_t>(range->end));
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(range->header + 1),
                  std::make_move_iterator(body.begin()), std::make_move_iterator(body.end()));
    // A key with a control character before a "[" can come back as a header line.
    index_sections(range->header);
}

bool IniFile::has_section(std::string_view section) const {
    return find_section(section).has_value();
}

std::vector<std::string> IniFile::section_names() const {
    std::vector<std::string> names;
    names.reserve(headers_.size());
    for (const auto& header : headers_) {
        names.emplace_back(*header_name(lines_[header.line]));
    }
    return names;
}

std::unordered_map<std::string, std::string> IniFile::read_section(std::string_view section) const {
    std::unordered_map<std::string, std::string> entries;
    if (const auto range = find_section(section)) {
        for (std::size_t i = range->header + 1; i < range->end; ++i) {
            if (const auto kv = key_value(lines_[i])) {
                entries.try_emplace(library::to_lower(kv->key), unquote(kv->value));
            }
        }
    }
    return entries;
}

std::vector<std::string> IniFile::key_names(std::string_view section) const {
    std::vector<std::string> names;
    if (const auto range = find_section(section)) {
        for (std::size_t i = range->header + 1; i < range->end; ++i) {
            if (const auto kv = key_value(lines_[i])) {
                names.emplace_back(kv->key);
            }
        }
    }
    return names;
}

std::string IniFile::text() const {
    std::string out;
    for (const auto& line : lines_) {
        out += line;
        out += "\r\n";
    }
    return out;
}

std::string IniFile::bytes() const {
    return library::utf8_to_cp1251(text());
}

}  // namespace vetra::settings
