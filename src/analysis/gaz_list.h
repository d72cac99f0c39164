#pragma once

#include <boost/signals2/signal.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/ini_list.h"

namespace vetra::analysis {

// One gas: its exit-time window as configured and as the analysis actually uses it (the
// two differ only after the window correction), in seconds from the start of the analysis.
struct GazOption {
    std::string name;
    std::string code;
    float start = 0;
    float end = 0;
    float work_start = 0;
    float work_end = 0;
    double spare1 = 0;
    double spare2 = 100;
    std::int32_t colour = 0;  // 0x00BBGGRR
};

// A window time in samples: seconds x rate, in double. The calculation truncates it to a
// sample index and the plot rounds it to its window bounds; both start from this product,
// so a window edge is the same sample everywhere (17.3 s at 10 a second is 172.99..., not
// the 173 that single precision gives).
inline double seconds_in_samples(float seconds, int rate) {
    return static_cast<double>(seconds) * static_cast<double>(rate);
}

// The gases in result order, kept in section "газ". Item text:
// name code start end colour spare1 spare2. The working window is not stored.
class GazList : public settings::IniList {
public:
    static constexpr const char* kSection = "газ";

    // Starts with the default gases.
    GazList();

    using settings::IniList::load;
    using settings::IniList::save;

    int count() const { return static_cast<int>(gases_.size()); }
    // Both throw std::out_of_range outside 0 .. count - 1.
    const GazOption& gas(int index) const { return gases_.at(static_cast<std::size_t>(index)); }
    GazOption& gas(int index) { return gases_.at(static_cast<std::size_t>(index)); }
    const std::vector<GazOption>& gases() const { return gases_; }

    // New gases are blank: no name or code, windows, spare values and colour all 0.
    void resize(int count);
    void resetWorkingWindows();
    // Sets the configured and the working window; an index outside the list is ignored.
    void setWindow(int index, float start, float end);

    // After every load that found "size" (also when the list fell back to the defaults,
    // since the gas count may have changed), and from editors that changed the list.
    boost::signals2::signal<void()> changed;

    static std::vector<GazOption> default_gases();

    static std::string item_text_of(const GazOption& gas);
    static GazOption parse_item(std::string_view text);

protected:
    int list_count() const override { return count(); }
    std::string item_text(int index) const override;
    void resize_list(int count) override;
    void set_item_text(int index, std::string_view text) override;
    void after_load(const settings::IniFile& file) override;

private:
    std::vector<GazOption> gases_;
};

// Two gases whose configured windows share more than an edge: one gas's peak would be
// counted into the other, and the result order would follow whichever window ends first.
struct WindowOverlap {
    int first = 0;  // the earlier of the two in the list
    int second = 0;
};

// Windows that only touch (15 .. 17 and 17 .. 20) do not overlap; nor does an empty window.
bool windows_overlap(const GazOption& a, const GazOption& b);
// The first overlapping pair in list order.
std::optional<WindowOverlap> find_window_overlap(const std::vector<GazOption>& gases);
// The first other gas that the window start .. end for gas `index` would overlap and whose
// window the gas's present one does not overlap already, so a list loaded with an overlap can
// still be moved apart step by step; nothing for an index outside the list.
std::optional<int> new_window_overlap(const std::vector<GazOption>& gases, int index, float start,
                                      float end);
// What the operator is told, naming both gases and their windows.
std::string window_overlap_message(const GazOption& a, const GazOption& b);

// The gases the setup wizard offers, as (code, name).
const std::vector<std::pair<std::string, std::string>>& known_gases();
// The code of a known gas by its name; empty when the name is not known.
std::string known_gas_code(std::string_view name);
// The code of the gas called `name`: the gas list's own code for it (what the operator typed
// as its short name), else the known gases' code, so a gas named "Метан" or "н-бутан" with
// the code C1 or C4 is still that gas; empty when neither knows it.
std::string gas_code(const GazList& gases, std::string_view name);
// The gas name behind a result key or column name: "метан_абс" and "метан_отн" are метан.
std::string_view gas_name_of_key(std::string_view key);

}  // namespace vetra::analysis
