// The workstation keeps the totalizer log across a restart and saves it in the background
// while it runs, so a crash loses at most one interval of it.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "app/workstation.h"
#include "control/vetra_system.h"
#include "library/clock.h"
#include "link/tsumm_thread.h"
#include "settings/global_settings.h"
#include "settings/ini_file.h"
#include "storage/totalizer_file.h"
#include "support/recording_operator.h"
#include "support/temp_dir.h"

namespace vetra::app {
namespace {

using namespace std::chrono_literals;

struct Station {
    explicit Station(const test::TempDir& dir)
        : system(settings, op, clock), workstation(system, settings, op, {dir.dir(), true, {}}) {
        workstation.start_up();
        workstation.start_devices();
    }
    void append(int n) {
        analysis::TotalizerLog& log = system.link().totalizer_log();
        for (int i = 0; i < n; ++i) {
            log.append(46000.0 + (next_++) * library::kSecondInDays, 1.5f, 0.0f);
        }
    }
    std::size_t saved_records() const {
        analysis::TotalizerLog log;
        (void)storage::load_totalizer_file(log, workstation.totalizer_log_path());
        return log.size();
    }

    settings::GlobalSettings settings;
    test::RecordingOperator op;
    library::SystemClock clock;
    control::VetraSystem system;
    Workstation workstation;
    int next_ = 0;
};

TEST(WorkstationTotalizer, saves_the_log_in_the_background_at_close_and_loads_it_again) {
    test::TempDir dir;
    {
        Station s(dir);
        EXPECT_EQ(s.workstation.totalizer_log_path().filename(), "gsumm.dat");
        s.append(100);
        s.workstation.on_tick();  // not due yet
        EXPECT_FALSE(s.workstation.log_save_running());
        s.workstation.wait_for_log_save();
        EXPECT_EQ(s.saved_records(), 0u);

        s.workstation.set_log_save_interval(0ms);
        s.workstation.on_tick();
        s.append(50);  // the save works on what the log held at the tick
        s.workstation.wait_for_log_save();
        EXPECT_EQ(s.saved_records(), 100u);

        s.append(7);
        std::string error;
        ASSERT_TRUE(s.workstation.shut_down(error)) << error;
        EXPECT_EQ(s.saved_records(), 157u);
        EXPECT_FALSE(s.workstation.totalizer_thread()->running());
    }
    Station again(dir);
    EXPECT_EQ(again.system.link().totalizer_log().size(), 157u);
    EXPECT_EQ(again.system.link().channel_count(), 1);
}

// Every owner writes its own section into the one settings write at close: a section left
// out would come back at the next start as it was before the session.
TEST(WorkstationClose, every_owners_section_reaches_the_settings_file) {
    test::TempDir dir;
    Station s(dir);
    s.system.set_work_mode(2);
    s.settings.samples_per_second = 37;
    s.workstation.rig_settings().wits_in_depth_item = 108;
    std::string error;
    ASSERT_TRUE(s.workstation.shut_down(error, [](settings::IniFile& file) {
        file.write_string("окно", "место", "1,2,3,4");
    })) << error;
    settings::IniFile file;
    ASSERT_TRUE(file.open(s.settings.settings_path));
    EXPECT_EQ(file.read_string("VetraSystem", "work_mode", ""), "02000000");
    EXPECT_EQ(file.read_integer("время", "посылок_в_секунду", 0), 37);
    EXPECT_EQ(file.read_integer("wits", "in_depth_item", 0), 108);
    EXPECT_EQ(file.read_string("окно", "место", ""), "1,2,3,4");
}

}  // namespace
}  // namespace vetra::app
