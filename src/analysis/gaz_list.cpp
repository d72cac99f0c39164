#include "analysis/gaz_list.h"

#include <algorithm>
#include <cmath>

#include "library/field_text.h"
#include "library/format_auto.h"
#include "library/number_text.h"

namespace vetra::analysis {
namespace {

// A missing, unreadable or non-finite number reads as 0.
double real_field(const std::vector<std::string>& fields, std::size_t index) {
    if (index >= fields.size()) {
        return 0.0;
    }
    const double v = library::parse_number(fields[index]).value_or(0.0);
    return std::isfinite(v) ? v : 0.0;
}

float float_field(const std::vector<std::string>& fields, std::size_t index) {
    const auto v = static_cast<float>(real_field(fields, index));
    return std::isfinite(v) ? v : 0.0f;
}

}  // namespace

GazList::GazList() : settings::IniList(kSection), gases_(default_gases()) {}

std::vector<GazOption> GazList::default_gases() {
    const auto gas = [](const char* name, const char* code, float start, float end,
                        std::int32_t colour) {
        GazOption g;
        g.name = name;
        g.code = code;
        g.start = g.work_start = start;
        g.end = g.work_end = end;
        g.colour = colour;
        return g;
    };
    return {
        gas("метан", "C1", 10, 15, 255),       gas("этан", "C2", 17, 20, 16711680),
        gas("пропан", "C3", 34, 40, 32768),    gas("бутан", "C4", 48, 54, 32896),
        gas("пентан", "C5", 60, 65, 16711935), gas("гексан", "C6", 70, 75, 0),
    };
}

void GazList::resize(int count) {
    resize_list(count);
}

void GazList::resize_list(int count) {
    GazOption blank;
    blank.spare2 = 0;
    gases_.resize(static_cast<std::size_t>(std::max(count, 0)), blank);
}

void GazList::resetWorkingWindows() {
    for (auto& g : gases_) {
        g.work_start = g.start;
        g.work_end = g.end;
    }
}

void GazList::setWindow(int index, float start, float end) {
    if (index < 0 || index >= count()) {
        return;
    }
    auto& g = gases_[static_cast<std::size_t>(index)];
    g.start = g.work_start = start;
    g.end = g.work_end = end;
}

std::string GazList::item_text_of(const GazOption& gas) {
    return library::join_fields({gas.name, gas.code, library::float_to_text(gas.start),
                                 library::float_to_text(gas.end), std::to_string(gas.colour),
                                 library::float_to_text(gas.spare1),
                                 library::float_to_text(gas.spare2)});
}

GazOption GazList::parse_item(std::string_view text) {
    const auto fields = library::split_fields(text);
    const auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : std::string(); };
    GazOption g;
    g.name = field(0);
    g.code = field(1);
    g.start = g.work_start = float_field(fields, 2);
    g.end = g.work_end = float_field(fields, 3);
    g.colour = library::parse_int(field(4)).value_or(0);
    g.spare1 = real_field(fields, 5);
    g.spare2 = real_field(fields, 6);
    return g;
}

std::string GazList::item_text(int index) const {
    return item_text_of(gas(index));
}

void GazList::set_item_text(int index, std::string_view text) {
    gas(index) = parse_item(text);
}

void GazList::after_load(const settings::IniFile&) {
    resetWorkingWindows();
    if (gases_.empty()) {
        gases_ = default_gases();
    }
    changed();
}

bool windows_overlap(const GazOption& a, const GazOption& b) {
    return a.start < a.end && b.start < b.end && a.start < b.end && b.start < a.end;
}

std::optional<WindowOverlap> find_window_overlap(const std::vector<GazOption>& gases) {
    for (std::size_t i = 0; i < gases.size(); ++i) {
        for (std::size_t k = i + 1; k < gases.size(); ++k) {
            if (windows_overlap(gases[i], gases[k])) {
                return WindowOverlap{static_cast<int>(i), static_cast<int>(k)};
            }
        }
    }
    return std::nullopt;
}

std::optional<int> new_window_overlap(const std::vector<GazOption>& gases, int index, float start,
                                      float end) {
    if (index < 0 || index >= static_cast<int>(gases.size())) {
        return std::nullopt;
    }
    const GazOption& present = gases[static_cast<std::size_t>(index)];
    GazOption moved = present;
    moved.start = start;
    moved.end = end;
    for (int k = 0; k < static_cast<int>(gases.size()); ++k) {
        const GazOption& other = gases[static_cast<std::size_t>(k)];
        if (k != index && windows_overlap(moved, other) && !windows_overlap(present, other)) {
            return k;
        }
    }
    return std::nullopt;
}

std::string window_overlap_message(const GazOption& a, const GazOption& b) {
    const auto window = [](const GazOption& g) {
        return g.name + " (" + library::formatAuto(g.start) + " - " + library::formatAuto(g.end) +
               " с)";
    };
    return "Время выхода газа " + window(a) + " пересекается со временем выхода газа " + window(b) +
           ". Пик одного газа вошёл бы в расчёт другого.";
}

const std::vector<std::pair<std::string, std::string>>& known_gases() {
    static const std::vector<std::pair<std::string, std::string>> kGases{
        {"C1", "метан"},     {"C2", "этан"},       {"C3", "пропан"},     {"C4", "бутан"},
        {"C5", "пентан"},    {"C6", "гексан"},     {"C7", "гептан"},     {"C8", "октан"},
        {"C9", "нонан"},     {"C10", "декан"},     {"C2i", "изоэтан"},   {"C3i", "изопропан"},
        {"C4i", "изобутан"}, {"C5i", "изопентан"}, {"C6i", "изогексан"},
    };
    return kGases;
}

std::string known_gas_code(std::string_view name) {
    for (const auto& [code, known] : known_gases()) {
        if (known == name) {
            return code;
        }
    }
    return {};
}

std::string gas_code(const GazList& gases, std::string_view name) {
    for (int i = 0; i < gases.count(); ++i) {
        const GazOption& gas = gases.gas(i);
        if (gas.name == name && !gas.code.empty()) {
            return gas.code;
        }
    }
    return known_gas_code(name);
}

std::string_view gas_name_of_key(std::string_view key) {
    for (const std::string_view suffix : {std::string_view("_абс"), std::string_view("_отн")}) {
        if (key.size() > suffix.size() && key.ends_with(suffix)) {
            return key.substr(0, key.size() - suffix.size());
        }
    }
    return key;
}

}  // namespace vetra::analysis
