#include "storage/text_data_writer.h"

#include <charconv>
#include <cstdio>
#include <system_error>

#include "library/cp1251.h"
#include "library/number_text.h"
#include "library/utf8_path.h"

namespace vetra::storage {
namespace {

constexpr const char* kTotalCode = "GS";

// Right-aligned in `width` characters (cp1251 bytes, one per character).
std::string right(std::string_view cp1251, std::size_t width) {
    std::string out;
    if (cp1251.size() < width) {
        out.assign(width - cp1251.size(), ' ');
    }
    out += cp1251;
    return out;
}

std::string fixed(double value, int decimals, std::size_t width) {
    char buffer[400];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text = r.ec == std::errc{} ? std::string(buffer, r.ptr) : std::string("nan");
    for (char& c : text) {
        if (c == '.') {
            c = library::decimal_separator();
        }
    }
    return right(text, width);
}

// Gas records are those before the total.
std::size_t gas_count(const std::vector<analysis::GazResult>& results) {
    std::size_t n = 0;
    while (n < results.size() && results[n].code != kTotalCode) {
        ++n;
    }
    return n;
}

}  // namespace

std::string file_name_safe(std::string text) {
    for (char& c : text) {
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
            c == '>' || c == '|' || static_cast<unsigned char>(c) < 0x20) {
            c = '-';
        }
    }
    if (text.empty() || text == "." || text == "..") {
        text = "-";
    }
    return text;
}

std::string text_data_header(const std::vector<analysis::GazResult>& results, bool science) {
    std::string line = right("Time", 8) + " " + right("Depth", 6);
    for (const auto& r : results) {
        line += " " + right(library::utf8_to_cp1251(r.code), 8);
    }
    if (science) {
        for (std::size_t i = 0; i < gas_count(results); ++i) {
            line += " " + right(library::utf8_to_cp1251(results[i].code + "_S"), 8);
        }
    }
    return line;
}

std::string text_data_line(const std::vector<analysis::GazResult>& results, float depth,
                           const std::string& time, bool science) {
    std::string line = right(library::utf8_to_cp1251(time), 8) + " " + fixed(depth, 1, 6);
    for (const auto& r : results) {
        line += " " + fixed(r.concentration, 4, 8);
    }
    if (science) {
        for (std::size_t i = 0; i < gas_count(results); ++i) {
            line += " " + fixed(results[i].area, 4, 8);
        }
    }
    return line;
}

TextDataWriter::TextDataWriter(const library::Clock& clock) : clock_(clock) {}

std::filesystem::path TextDataWriter::file_for(const library::LocalTime& t) const {
    return directory_ / library::path_from_utf8(file_name_safe(short_date(t)) + ".txt");
}

bool TextDataWriter::write(const std::vector<analysis::GazResult>& results, float depth) {
    if (directory_.empty()) {
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(directory_, ec);
    const std::error_code folder_error = ec;
    const library::LocalTime now = clock_.local_now();
    const std::filesystem::path path = file_for(now);
    const bool science = save_science_values && save_science_values();
    // A new day's file gets its header too, so every file can be read on its own.
    const bool header = header_due_ || !std::filesystem::exists(path, ec) ||
                        std::filesystem::file_size(path, ec) == 0;
    std::string bytes;
    if (header) {
        bytes = text_data_header(results, science) + "\r\n";
    }
    bytes += text_data_line(results, depth, long_time(now), science) + "\r\n";
    std::error_code error = append_to_file(path, bytes);
    if (error && folder_error) {
        error = folder_error;  // the folder's cause says more
    }
    if (reporter != nullptr) {
        reporter->report(library::utf8_from_path(path), !error, error);
    }
    if (error) {
        return false;  // the line is lost; the header stays due
    }
    if (header) {
        header_due_ = false;
    }
    return true;
}

}  // namespace vetra::storage
