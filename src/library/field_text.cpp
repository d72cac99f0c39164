#include "library/field_text.h"

namespace vetra::library {
namespace {

// The length of the control character at `i` (1, or 2 for a UTF-8 C1 character), else 0.
std::size_t control_at(std::string_view text, std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
        return 1;
    }
    if (c == 0xC2 && i + 1 < text.size()) {
        const auto next = static_cast<unsigned char>(text[i + 1]);
        return next >= 0x80 && next <= 0x9F ? 2 : 0;
    }
    return 0;
}

}  // namespace

std::string single_line(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (const std::size_t n = control_at(text, i)) {
            out += ' ';
            i += n;
        } else {
            out += text[i++];
        }
    }
    return out;
}

bool has_control_characters(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (control_at(text, i) != 0) {
            return true;
        }
    }
    return false;
}

std::string join_fields(const std::vector<std::string>& fields) {
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            out += ' ';
        }
        const std::string& f = fields[i];
        // A control character becomes a blank when the line is written to a settings file,
        // so it needs the quotes a blank would, or the field splits in two on reading.
        const bool quote =
            f.empty() || f.find_first_of(" \t\"") != std::string::npos || has_control_characters(f);
        if (!quote) {
            out += f;
            continue;
        }
        out += '"';
        for (char c : f) {
            if (c == '"') {
                out += '"';
            }
            out += c;
        }
        out += '"';
    }
    return out;
}

std::vector<std::string> split_fields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t i = 0;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (true) {
        while (i < line.size() && blank(line[i])) {
            ++i;
        }
        if (i >= line.size()) {
            break;
        }
        std::string field;
        if (line[i] == '"') {
            ++i;
            while (i < line.size()) {
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i++];
            }
        } else {
            while (i < line.size() && !blank(line[i])) {
                field += line[i++];
            }
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

}  // namespace vetra::library
