#include "analysis/etalon_storage.h"

#include <algorithm>
#include <cmath>

#include "analysis/interpolation_table.h"
#include "library/cp1251.h"
#include "library/field_text.h"
#include "library/number_text.h"
#include "library/utf8_path.h"
#include "settings/ini_options.h"

namespace vetra::analysis {
namespace {

const library::DayNumber kDefaultDate = library::to_day_number({2000, 1, 1});

// Section "main" through the ordinary bindings, so its encodings match the settings file.
class MainSection final : public settings::IniOptions {
public:
    MainSection(std::int32_t& type, library::DayNumber& date, double& degassing)
        : type_(type), date_(date), degassing_(degassing) {}

protected:
    void register_bindings(settings::BindingList& list) override {
        list.add_int_block(&type_, EtalonStorage::kMainSection, "inter_type");
        list.add_bytes(&date_, sizeof date_, EtalonStorage::kMainSection, "Date");
        list.add_double(&degassing_, EtalonStorage::kMainSection, "deg_koeff");
    }

private:
    std::int32_t& type_;
    library::DayNumber& date_;
    double& degassing_;
};

double real_field(const std::vector<std::string>& fields, std::size_t index) {
    if (index >= fields.size()) {
        return 0.0;
    }
    const double v = library::parse_number(fields[index]).value_or(0.0);
    return std::isfinite(v) ? v : 0.0;
}

std::int32_t int_field(const std::vector<std::string>& fields, std::size_t index) {
    return index < fields.size() ? library::parse_int(fields[index]).value_or(0) : 0;
}

}  // namespace

EtalonStorage::EtalonStorage() : settings::IniList(kPointsSection), date_(kDefaultDate) {}

bool EtalonStorage::load(std::string_view path) {
    settings::IniFile file;
    const bool ok = file.open(library::path_from_utf8(library::trim(path)));
    load(file);
    return ok;
}

bool EtalonStorage::save(std::string_view path) {
    settings::IniFile file;
    if (!file.open(library::path_from_utf8(library::trim(path)))) {
        return false;
    }
    save(file);
    return file.save();
}

void EtalonStorage::load(const settings::IniFile& file) {
    settings::IniList::load(file);
    load_main(file);
}

void EtalonStorage::save(settings::IniFile& file) {
    // Both sections go, so they come back in their order at the end of the file.
    file.erase_section(kMainSection);
    settings::IniList::save(file);
    save_main(file);
}

void EtalonStorage::load_main(const settings::IniFile& file) {
    MainSection(interpolation_type_, date_, degassing_).load(file);
}

void EtalonStorage::save_main(settings::IniFile& file) {
    MainSection(interpolation_type_, date_, degassing_).save(file);
}

void EtalonStorage::fitToGasCount() {
    const int gases = gas_count_ ? gas_count_() : 0;
    if (gases <= 0) {
        return;
    }
    const auto wanted = static_cast<std::size_t>(gases);
    for (auto& point : points_) {
        if (point.pairs.size() < wanted) {
            point.pairs.resize(wanted, {0.0, 0.0});
        }
    }
}

double EtalonStorage::concentration(int gas, double area) const {
    const double x = area * degassing_;
    const int n = static_cast<int>(points_.size());
    if (n == 0 || gas < 0) {
        return 0.0;
    }
    const auto pair_of = [&](int i) {
        const auto& pairs = points_[static_cast<std::size_t>(i)].pairs;
        const auto g = static_cast<std::size_t>(gas);
        return g < pairs.size() ? pairs[g] : std::pair<double, double>{0.0, 0.0};
    };
    InterpolationTable table;
    double c = 0.0;
    if (interpolation_type_ == kLinear || n == 1) {
        table.resize(n + 1);
        table.setPoint(0, 0.0, 0.0);
        for (int i = 0; i < n; ++i) {
            const auto [conc, a] = pair_of(i);
            table.setPoint(i + 1, a, conc);
        }
        c = table.linear(x);
    } else {
        table.resize(n);
        for (int i = 0; i < n; ++i) {
            const auto [conc, a] = pair_of(i);
            table.setPoint(i, a, conc);
        }
        c = table.polynomial(x);
    }
    return std::isfinite(c) ? c : 0.0;
}

std::string EtalonStorage::point_text(const EtalonPoint& point) {
    std::vector<std::string> fields{point.dilution, std::to_string(point.repeats),
                                    std::to_string(point.pairs.size())};
    for (const auto& [conc, area] : point.pairs) {
        fields.push_back(library::float_to_text(conc));
        fields.push_back(library::float_to_text(area));
    }
    return library::join_fields(fields);
}

EtalonPoint EtalonStorage::parse_point(std::string_view text) {
    const auto fields = library::split_fields(text);
    EtalonPoint point;
    point.dilution = fields.empty() ? std::string() : fields[0];
    point.repeats = int_field(fields, 1);
    // The count is capped by the fields present, so a garbage count cannot allocate
    // without bound; a last pair missing its area still reads as (c, 0).
    const std::size_t present = fields.size() > 3 ? (fields.size() - 3 + 1) / 2 : 0;
    const auto count =
        std::min(static_cast<std::size_t>(std::max(int_field(fields, 2), 0)), present);
    point.pairs.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        point.pairs.emplace_back(real_field(fields, 3 + 2 * i), real_field(fields, 4 + 2 * i));
    }
    return point;
}

std::string EtalonStorage::item_text(int index) const {
    return point_text(points_.at(static_cast<std::size_t>(index)));
}

void EtalonStorage::resize_list(int count) {
    points_.resize(static_cast<std::size_t>(std::max(count, 0)));
}

void EtalonStorage::set_item_text(int index, std::string_view text) {
    points_.at(static_cast<std::size_t>(index)) = parse_point(text);
}

void EtalonStorage::after_load(const settings::IniFile&) {
    fitToGasCount();
}

}  // namespace vetra::analysis
