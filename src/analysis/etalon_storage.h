#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "library/datetime.h"
#include "settings/ini_list.h"

namespace vetra::analysis {

// One calibration point: one dilution of the calibration mixture, with one
// (concentration %, area) pair per gas in gas-list order.
struct EtalonPoint {
    std::string dilution;
    std::int32_t repeats = 0;
    std::vector<std::pair<double, double>> pairs;

    bool operator==(const EtalonPoint&) const = default;
};

// The chromatograph's calibration, kept in "calibr.ini" (and exported as "*.cal"):
// section "calibration" holds the points, section "main" the interpolation type, the
// date and the degassing coefficient.
class EtalonStorage : public settings::IniList {
public:
    static constexpr const char* kFileName = "calibr.ini";
    static constexpr const char* kPointsSection = "calibration";
    static constexpr const char* kMainSection = "main";
    static constexpr std::int32_t kLinear = 1;

    EtalonStorage();

    // A missing file leaves everything as it was; false only when the file exists but
    // cannot be read.
    bool load(std::string_view path);
    bool save(std::string_view path);
    void load(const settings::IniFile& file);
    void save(settings::IniFile& file);

    // Fills every point's pair list up to the gas count with (0, 0).
    void fitToGasCount();
    void set_gas_count(std::function<int()> gas_count) { gas_count_ = std::move(gas_count); }

    // Concentration in percent of gas `gas` for a measured peak area; 0 without points.
    double concentration(int gas, double area) const;

    const std::vector<EtalonPoint>& points() const { return points_; }
    void copyPointsTo(std::vector<EtalonPoint>& points) const { points = points_; }
    void copyPointsFrom(const std::vector<EtalonPoint>& points) { points_ = points; }

    double degassing() const { return degassing_; }
    void setDegassing(double value) { degassing_ = value; }
    std::int32_t interpolation_type() const { return interpolation_type_; }
    void set_interpolation_type(std::int32_t type) { interpolation_type_ = type; }
    library::DayNumber date() const { return date_; }
    void set_date(library::DayNumber date) { date_ = date; }

    static std::string point_text(const EtalonPoint& point);
    static EtalonPoint parse_point(std::string_view text);

protected:
    int list_count() const override { return static_cast<int>(points_.size()); }
    std::string item_text(int index) const override;
    void resize_list(int count) override;
    void set_item_text(int index, std::string_view text) override;
    void after_load(const settings::IniFile& file) override;

private:
    void load_main(const settings::IniFile& file);
    void save_main(settings::IniFile& file);

    std::vector<EtalonPoint> points_;
    std::int32_t interpolation_type_ = kLinear;
    library::DayNumber date_;
    double degassing_ = 1.0;
    std::function<int()> gas_count_;
};

}  // namespace vetra::analysis
