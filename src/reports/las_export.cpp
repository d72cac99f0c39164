#include "reports/las_export.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>

#include "analysis/gas_ratios.h"
#include "library/atomic_file.h"
#include "library/cp1251.h"
#include "library/field_text.h"
#include "library/utf8_path.h"

namespace vetra::reports {
namespace {

// '.' as the decimal point whatever the locale: LAS readers expect it.
std::string number(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string text = buffer;
    std::replace(text.begin(), text.end(), ',', '.');
    return text;
}

// A unit ends at the first blank or colon.
std::string unit_text(const std::string& unit) {
    std::string text = library::single_line(unit);
    std::replace(text.begin(), text.end(), ' ', '_');
    std::replace(text.begin(), text.end(), ':', '_');
    return text;
}

std::string header_line(const std::string& mnemonic, const std::string& unit,
                        const std::string& data, std::string description) {
    description = library::single_line(description);
    std::string left = " " + mnemonic + "." + unit_text(unit);
    if (left.size() < 12) {
        left.resize(12, ' ');
    }
    std::string middle = " " + library::utf8_to_cp1251(library::single_line(data));
    if (middle.size() < 24) {
        middle.resize(24, ' ');
    }
    return left + middle + ": " + library::utf8_to_cp1251(description) + "\r\n";
}

// Right-aligned in 12 characters, or longer when it must.
void append_field(std::string& out, std::string_view text) {
    if (text.size() < 12) {
        out.append(12 - text.size(), ' ');
    }
    out += text;
}

// The value a float of the table holds, in the fewest fixed-point digits that read back as
// that float: 0.00004 stays 0.00004 and 1.70002 stays 1.70002.
void append_value(std::string& out, const std::optional<double>& value) {
    if (!value || !std::isfinite(*value)) {
        append_field(out, "-999.25");
        return;
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(*value),
                                      std::chars_format::fixed);
    append_field(out, std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

// Two columns of one gas (a list naming метан twice) must still be two curves: C1, C1_2.
std::vector<LasColumn> with_unique_mnemonics(std::vector<LasColumn> columns) {
    std::set<std::string> taken{"DEPT", "TIME"};
    for (auto& c : columns) {
        const std::string base = c.mnemonic.empty() ? std::string("COL") : c.mnemonic;
        std::string name = base;
        for (int n = 2; !taken.insert(name).second; ++n) {
            name = base + "_" + std::to_string(n);
        }
        c.mnemonic = name;
    }
    return columns;
}

}  // namespace

std::string las_mnemonic(const std::string& key, const std::string& code, int index) {
    if (key == "сумм_газ") {
        return "GS";
    }
    std::string mnemonic;
    for (const char c : analysis::normal_gas_code(code)) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) && u < 0x80) {
            mnemonic += static_cast<char>(std::toupper(u));
        } else if (c == '_' || c == '-') {
            mnemonic += '_';
        }
    }
    if (mnemonic.empty() || !std::isalpha(static_cast<unsigned char>(mnemonic.front()))) {
        return "COL" + std::to_string(index + 1);
    }
    return key.ends_with("_отн") ? mnemonic + "R" : mnemonic;
}

LasResult write_las(const std::filesystem::path& target, const LasWellInfo& well,
                    const std::vector<LasColumn>& curves, const LasSource& source,
                    const LasProgress& progress) {
    LasResult result;
    const std::vector<LasColumn> columns = with_unique_mnemonics(curves);
    // Rows of one depth keep their order, which is the order they were analysed in.
    std::vector<std::pair<double, int>> order;
    for (int i = 0; i < source.row_count; ++i) {
        const double depth = source.depth(i);
        if (depth > 0 && std::isfinite(depth)) {
            order.emplace_back(depth, i);
        } else {
            ++result.without_depth;
        }
    }
    if (order.empty()) {
        result.error = kNoDepthText;
        return result;
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    std::string text;
    text += "~Version information\r\n";
    text += header_line("VERS", "", "2.0", "CWLS LOG ASCII STANDARD - VERSION 2.0");
    text += header_line("WRAP", "", "NO", "ONE LINE PER DEPTH STEP");
    text += "~Well information\r\n";
    text += header_line("STRT", "M", number(order.front().first, 2), "START DEPTH");
    text += header_line("STOP", "M", number(order.back().first, 2), "STOP DEPTH");
    text += header_line("STEP", "M", number(0, 2), "STEP (samples are irregular)");
    text += header_line("NULL", "", number(kLasNull, 2), "NULL VALUE");
    text += header_line("COMP", "", well.company, "COMPANY");
    text += header_line("WELL", "", well.well, "WELL");
    text += header_line("FLD", "", well.field, "FIELD");
    text += header_line("LOC", "", well.location, "LOCATION");
    text += header_line("SRVC", "", well.service, "SERVICE COMPANY");
    text += header_line("DATE", "", well.date, "DATE");
    text += "~Curve information\r\n";
    text += header_line("DEPT", "M", "", "DEPTH");
    for (const auto& c : columns) {
        text += header_line(c.mnemonic, c.unit, "", c.description);
    }
    text += header_line("TIME", "S", "", "seconds since 1970-01-01 00:00 local time");
    text += "~A  DEPTH";
    for (const auto& c : columns) {
        text += " " + c.mnemonic;
    }
    text += " TIME\r\n";

    // Too big to build in memory first: written in pieces, in place only when complete.
    library::AtomicFileWriter file(target);
    if (!file.ok()) {
        result.error = "Невозможно создать файл " + library::utf8_from_path(target);
        return result;
    }
    LasRecord r;
    const int total = static_cast<int>(order.size());
    for (int done = 0; done < total; ++done) {
        const auto [depth, index] = order[static_cast<std::size_t>(done)];
        r.values.clear();
        source.row(index, r);
        append_field(text, number(depth, 2));
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const auto& v = c < r.values.size() ? r.values[c] : std::nullopt;
            text += ' ';
            append_value(text, v);
        }
        text += ' ';
        text += std::to_string(r.time_seconds);
        text += "\r\n";
        if (text.size() > 256 * 1024) {
            file.write(text);
            text.clear();
            if (progress && !progress(done + 1, total)) {
                result.cancelled = true;
                result.error = "Экспорт прерван. Прежний файл не изменён.";
                return result;  // the temporary file goes with `file`
            }
        }
    }
    file.write(text);
    if (!file.commit()) {
        result.error = "Ошибка записи в файл " + library::utf8_from_path(target);
        return result;
    }
    result.ok = true;
    result.written = total;
    return result;
}

bool write_las(const std::filesystem::path& target, const LasWellInfo& well,
               const std::vector<LasColumn>& columns, int row_count,
               const std::function<LasRecord(int)>& row, std::string& error) {
    const LasResult result = write_las(target, well, columns,
                                       {row_count, [&](int i) { return row(i).depth; },
                                        [&](int i, LasRecord& out) { out = row(i); }});
    error = result.error;
    return result.ok;
}

}  // namespace vetra::reports
