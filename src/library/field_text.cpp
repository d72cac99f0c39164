#include "library/field_text.h"

namespace vetra::library {

std::string join_fields(const std::vector<std::string>& fields) {
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            out += ' ';
        }
        const std::string& f = fields[i];
        const bool quote = f.empty() || f.find_first_of(" \t\"") != std::string::npos;
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
