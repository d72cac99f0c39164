#pragma once

#include <boost/signals2/signal.hpp>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/gas_shows.h"
#include "analysis/gaz_result.h"
#include "library/datetime.h"
#include "library/file_reporter.h"
#include "settings/lag_settings.h"
#include "storage/depth_history.h"
#include "storage/row_depths.h"

namespace vetra::storage {
class ResultsTable;
}

namespace vetra::control {

// What the rig tells about the hole and the pumps at one moment (each part may be missing).
struct RigReading {
    std::optional<double> bit_depth;
    std::optional<double> hole_depth;
    std::optional<double> stroke_rate;  // all pumps, strokes per minute
    std::optional<double> strokes_total;
};

// The well's depth and stroke history, the sample's lagged depth, and the gas shows picked
// against the background, with their files in the well folder. Main thread; nothing here
// waits for anything.
class WellDepth {
public:
    explicit WellDepth(const settings::LagSettings& settings) : settings_(settings) {}

    // The well folder: the history, the row depths beside "data.tim" and the shows.
    void open(const std::filesystem::path& data_dir);
    void close();
    void set_reporter(library::FileReporter* reporter);

    // Once a second or more often: the station's depth (0 none) and what the rig sends.
    void record(library::DayNumber now, float station_depth, const RigReading& rig);
    // The depth a row gets for a cycle whose gas was injected at `injection`: the depth as
    // sent, or when lagging here the bit depth when that gas left the bit (0 unknown).
    float sample_depth(float current, library::DayNumber injection) const;
    // After the table appended the row of a published result list.
    void row_added(const storage::ResultsTable& table,
                   const std::vector<analysis::GazResult>& results, float row_depth,
                   float bit_depth, library::DayNumber injection);

    // A corrected lag for the rows analysed since `since`; the journal line says what
    // changed. Returns the line.
    std::string apply_lag(storage::ResultsTable& table, library::DayNumber since,
                          double lag_strokes, double lag_minutes);

    storage::LagParameters lag() const;
    const storage::DepthHistory& history() const { return history_; }
    const std::vector<analysis::GasShow>& shows() const { return shows_; }
    std::optional<double> background() const { return picker_.background(); }
    const std::filesystem::path& row_depths_path() const { return row_depths_path_; }

    // A show has ended: its journal line is written by whoever listens.
    boost::signals2::signal<void(const analysis::GasShow&)> show_found;
    std::function<void(const std::string&)> journal;

private:
    const settings::LagSettings& settings_;
    storage::DepthHistory history_;
    storage::StrokeCounter strokes_;
    analysis::ShowPicker picker_;
    std::vector<analysis::GasShow> shows_;
    std::filesystem::path row_depths_path_;
    std::filesystem::path shows_path_;
    library::FileReporter* reporter_ = nullptr;
};

}  // namespace vetra::control
