#pragma once

#include <boost/signals2/connection.hpp>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "library/datetime.h"

namespace vetra::control {
class VetraSystem;
}
namespace vetra::storage {
class EventLog;
}
namespace vetra::link {
class TSummThread;
class RemoteControl;
class TDataModule1;
}  // namespace vetra::link

namespace vetra::app {

// Whether the operator has to look: the colour of a field of the status line.
enum class Health { off, ok, waiting, fault };

// One field of the status line. `off` fields are not shown.
struct StatusField {
    Health health = Health::off;
    std::string text;    // short, always in view
    std::string detail;  // the longer story, for the tooltip
};

enum class ChromatographState {
    unknown,      // no start tried yet
    receiving,    // frames arrive now
    ready,        // the last contact was good; nothing streams between cycles
    no_answer,    // a start found the line silent, or the stream between cycles did
    cannot_open,  // the port could not be opened
    lost,         // a running cycle's line fell silent
};

enum class WitsDirection { output, input };

// The state of the workstation's links and files as the operator sees it at a glance, kept
// without a screen: the window's status bar reads it on every tick, and it writes what went
// wrong into the journal, one line when a spell of trouble begins and one when it ends.
class WorkstationStatus {
public:
    WorkstationStatus(control::VetraSystem& system, storage::EventLog& journal);
    ~WorkstationStatus();
    WorkstationStatus(const WorkstationStatus&) = delete;
    WorkstationStatus& operator=(const WorkstationStatus&) = delete;

    // Sources that exist only while the devices run; null when absent.
    void set_totalizer_reader(const link::TSummThread* reader) { reader_ = reader; }
    void set_remote_control(const link::RemoteControl* remote) { remote_ = remote; }
    void set_station_client(const link::TDataModule1* client) { station_client_ = client; }

    // Every tick of the 400 ms timer: notes new frames and readings and what the line says.
    void update();

    // A WITS link's state in the operator's words ("порт 5000, приёмников 2"); `off` hides
    // it. Set on every tick by whoever runs the links.
    void set_wits_state(WitsDirection direction, Health health, std::string text);
    // A file that could not be written (`name` as the operator knows it, "data.tim"), and
    // the same file written again. Repeats within a spell change nothing but the reason.
    void file_failed(const std::string& name, const std::string& reason);
    void file_recovered(const std::string& name);
    const std::map<std::string, std::string>& file_problems() const { return files_; }

    ChromatographState chromatograph_state() const { return state_; }
    std::optional<library::LocalTime> last_frame() const { return last_frame_; }
    // Seconds until the time mode starts the next cycle; nothing in the other modes.
    std::optional<int> seconds_to_next_start() const;

    StatusField chromatograph() const;
    StatusField mode() const;
    StatusField last_analysis() const;
    StatusField totalizer() const;
    StatusField station() const;
    StatusField wits() const;
    StatusField files() const;

    // A frame older than this no longer counts as the line streaming now.
    static constexpr std::uint32_t kFreshMs = 2500;

private:
    void enter(ChromatographState state);
    void update_totalizer();
    std::string port_label() const;
    std::string journal_text(ChromatographState state) const;

    control::VetraSystem& system_;
    storage::EventLog& journal_;
    const link::TSummThread* reader_ = nullptr;
    const link::RemoteControl* remote_ = nullptr;
    const link::TDataModule1* station_client_ = nullptr;
    std::vector<boost::signals2::scoped_connection> connections_;

    ChromatographState state_ = ChromatographState::unknown;
    std::uint64_t frames_seen_ = 0;
    std::uint32_t last_frame_ms_ = 0;
    std::optional<library::LocalTime> last_frame_;
    std::optional<library::LocalTime> last_results_;

    StatusField totalizer_;
    std::uint64_t packets_seen_ = 0;
    double last_log_time_ = 0.0;
    std::uint32_t last_reading_ms_ = 0;
    std::optional<library::LocalTime> last_reading_;

    StatusField wits_[2];
    std::map<std::string, std::string> files_;
};

// "12:03:15", or "07.12 12:03:15" when `t` is not of the day of `today`.
std::string short_time(const library::LocalTime& t, const library::LocalTime& today);

}  // namespace vetra::app
