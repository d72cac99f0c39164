#include "app/console_report.h"

#include <algorithm>

#include "analysis/cycle_status.h"
#include "library/format_auto.h"

namespace vetra::app {
namespace {

std::size_t characters(const std::string& utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string padded(const std::string& text, std::size_t width) {
    const std::size_t n = characters(text);
    return text + std::string(n < width ? width - n : 1, ' ');
}

std::string percent(double value) {
    return library::formatAuto(value);
}

// A day number of 0 was never set.
std::string date_time(library::DayNumber day) {
    return day == 0.0 ? std::string("—") : library::format_date_time(library::from_day_number(day));
}

}  // namespace

std::vector<std::string> readable_results(const std::vector<analysis::GazResult>& results,
                                          library::DayNumber start_time,
                                          library::DayNumber results_time) {
    const analysis::GazResult* total = nullptr;
    std::vector<std::pair<const analysis::GazResult*, const analysis::GazResult*>> gases;
    for (const auto& r : results) {
        if (!r.derived) {
            gases.emplace_back(&r, nullptr);
        } else if (r.key == "сумм_газ") {
            total = &r;
        }
    }
    for (auto& [gas, relative] : gases) {
        const std::string name = gas->name + "_отн";
        for (const auto& r : results) {
            if (r.derived && r.name == name) {
                relative = &r;
            }
        }
    }
    std::size_t width = characters("сумма");
    for (const auto& g : gases) {
        width = std::max(width, characters(g.first->name));
    }
    width += 3;
    constexpr std::size_t kColumn = 12;
    std::vector<std::string> lines;
    lines.push_back(padded("Газ", width) + padded("абс., %", kColumn) + "отн., %");
    for (const auto& [gas, relative] : gases) {
        lines.push_back(padded(gas->name, width) + padded(percent(gas->concentration), kColumn) +
                        (relative ? percent(relative->concentration) : "—"));
    }
    if (total) {
        lines.push_back(padded("сумма", width) + percent(total->concentration));
    }
    lines.push_back(padded("Запуск", width) + date_time(start_time));
    lines.push_back(padded("Расчёт", width) + date_time(results_time));
    return lines;
}

std::string cycle_end_words(int status) {
    switch (status) {
        case analysis::kStatusNoError:
            return "Цикл окончен";
        case analysis::kStatusClosingFrame:
            return "Цикл окончен: хроматограф прислал кадр окончания";
        case analysis::kStatusNoAnswer:
            return "Цикл прерван: потеряна связь с хроматографом";
        case analysis::kStatusShortFrame:
            return "Цикл прерван: неполный кадр на линии";
        case analysis::kStatusCannotOpen:
            return "Цикл не начат: порт не открывается";
        default:
            return "Цикл окончен с кодом " + std::to_string(status);
    }
}

}  // namespace vetra::app
