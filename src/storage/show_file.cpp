#include "storage/show_file.h"

#include <charconv>
#include <cmath>

#include "library/atomic_file.h"

namespace vetra::storage {
namespace {

constexpr std::string_view kHeader = "# vetra gas shows 1";

std::string number(double v) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    return ec == std::errc{} ? std::string(buffer, end) : std::string("0");
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (true) {
        const auto at = text.find(separator, start);
        out.push_back(text.substr(start, at == std::string_view::npos ? at : at - start));
        if (at == std::string_view::npos) {
            return out;
        }
        start = at + 1;
    }
}

bool read(std::string_view text, double& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size() && std::isfinite(value);
}

}  // namespace

std::string encode_shows(const std::vector<analysis::GasShow>& shows) {
    std::string out(kHeader);
    out += '\n';
    for (const auto& s : shows) {
        for (const double v : {s.top, s.bottom, s.peak_depth, s.peak_total, s.background, s.start,
                               s.end, s.peak_time}) {
            out += number(v) + '\t';
        }
        out += analysis::show_class_key(s.show_class);
        out += '\t';
        for (const auto& g : s.peak_gases) {
            // Codes and names are the gas list's; the separators are kept out of them.
            if (g.code.find_first_of("=;\t\n") == std::string::npos) {
                out += (g.derived ? "*" : "") + g.code + "=" + number(g.percent) + ";";
            }
        }
        out += '\n';
    }
    return out;
}

std::vector<analysis::GasShow> decode_shows(std::string_view text) {
    std::vector<analysis::GasShow> shows;
    for (auto line : split(text, '\n')) {
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const auto fields = split(line, '\t');
        if (fields.size() != 10 || shows.size() >= kMaxShows) {
            continue;
        }
        analysis::GasShow s;
        double* targets[] = {&s.top,        &s.bottom, &s.peak_depth, &s.peak_total,
                             &s.background, &s.start,  &s.end,        &s.peak_time};
        bool ok = true;
        for (std::size_t i = 0; i < 8; ++i) {
            ok = ok && read(fields[i], *targets[i]);
        }
        const auto c = analysis::show_class_from_key(fields[8]);
        if (!ok || !c) {
            continue;
        }
        s.show_class = *c;
        for (auto pair : split(fields[9], ';')) {
            const auto eq = pair.find('=');
            double percent = 0;
            if (eq == std::string_view::npos || !read(pair.substr(eq + 1), percent)) {
                continue;
            }
            analysis::PeakGas g;
            g.derived = !pair.empty() && pair.front() == '*';
            g.code = std::string(pair.substr(g.derived ? 1 : 0, eq - (g.derived ? 1 : 0)));
            g.percent = percent;
            s.peak_gases.push_back(std::move(g));
        }
        shows.push_back(std::move(s));
    }
    return shows;
}

std::vector<analysis::GasShow> load_shows(const std::filesystem::path& path) {
    const auto text = library::read_whole_file(path);
    return text ? decode_shows(*text) : std::vector<analysis::GasShow>{};
}

bool save_shows(const std::filesystem::path& path, const std::vector<analysis::GasShow>& shows,
                std::error_code* error) {
    return library::write_file_atomically(path, encode_shows(shows), error);
}

}  // namespace vetra::storage
