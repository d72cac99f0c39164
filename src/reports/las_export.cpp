#include "reports/las_export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/gaz_list.h"
#include "library/atomic_file.h"
#include "library/cp1251.h"
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

std::string header_line(const std::string& mnemonic, const std::string& unit,
                        const std::string& data, const std::string& description) {
    std::string left = " " + mnemonic + "." + unit;
    if (left.size() < 12) {
        left.resize(12, ' ');
    }
    std::string middle = " " + library::utf8_to_cp1251(data);
    if (middle.size() < 24) {
        middle.resize(24, ' ');
    }
    return left + middle + ": " + library::utf8_to_cp1251(description) + "\r\n";
}

std::string value_field(double value, int decimals) {
    std::string text = number(value, decimals);
    if (text.size() < 12) {
        text.insert(0, 12 - text.size(), ' ');
    }
    return text;
}

}  // namespace

std::string las_mnemonic(const std::string& key, int index) {
    const auto underscore = key.rfind('_');
    const std::string name = underscore == std::string::npos ? key : key.substr(0, underscore);
    const std::string suffix = underscore == std::string::npos ? "" : key.substr(underscore + 1);
    if (name == "сумм" || key == "сумм_газ") {
        return "GS";
    }
    const std::string code = analysis::known_gas_code(name);
    if (!code.empty()) {
        std::string upper = code;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return suffix == "отн" ? upper + "R" : upper;
    }
    return "COL" + std::to_string(index + 1);
}

bool write_las(const std::filesystem::path& target, const LasWellInfo& well,
               const std::vector<LasColumn>& columns, int row_count,
               const std::function<LasRecord(int)>& row, std::string& error) {
    std::vector<std::pair<double, int>> order;
    for (int i = 0; i < row_count; ++i) {
        const double depth = row(i).depth;
        if (depth > 0 && std::isfinite(depth)) {
            order.emplace_back(depth, i);
        }
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    std::string text;
    const std::string start = order.empty() ? number(kLasNull, 2) : number(order.front().first, 2);
    const std::string stop = order.empty() ? number(kLasNull, 2) : number(order.back().first, 2);
    text += "~Version information\r\n";
    text += header_line("VERS", "", "2.0", "CWLS LOG ASCII STANDARD - VERSION 2.0");
    text += header_line("WRAP", "", "NO", "ONE LINE PER DEPTH STEP");
    text += "~Well information\r\n";
    text += header_line("STRT", "M", start, "START DEPTH");
    text += header_line("STOP", "M", stop, "STOP DEPTH");
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
        error = "Невозможно создать файл " + library::utf8_from_path(target);
        return false;
    }
    for (const auto& [depth, index] : order) {
        const LasRecord r = row(index);
        text += value_field(depth, 2);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const auto& v = c < r.values.size() ? r.values[c] : std::nullopt;
            text += " " + value_field(v && std::isfinite(*v) ? *v : kLasNull, 4);
        }
        text += " " + std::to_string(r.time_seconds) + "\r\n";
        if (text.size() > 64 * 1024) {
            file.write(text);
            text.clear();
        }
    }
    file.write(text);
    if (!file.commit()) {
        error = "Ошибка записи в файл " + library::utf8_from_path(target);
        return false;
    }
    return true;
}

}  // namespace vetra::reports
