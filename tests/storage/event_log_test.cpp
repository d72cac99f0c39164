#include <gtest/gtest.h>

#include <cstdlib>

#include "app/workstation.h"
#include "control/vetra_system.h"
#include "library/clock.h"
#include "library/cp1251.h"
#include "settings/global_settings.h"
#include "storage/event_log.h"
#include "support/recording_operator.h"
#include "support/temp_dir.h"

namespace vetra::storage {
namespace {

std::string file_text(const std::filesystem::path& path) {
    return library::cp1251_to_utf8(vetra::test::read_bytes(path));
}

TEST(EventLog, a_full_journal_of_257_lines_loses_its_first_and_each_line_is_saved_at_once) {
    vetra::test::TempDir dir;
    const auto path = dir / "события.txt";
    std::string text;
    for (int i = 0; i < 257; ++i) {
        text += "строка " + std::to_string(i) + "\r\n";
    }
    vetra::test::write_bytes(path, library::utf8_to_cp1251(text));

    library::ManualClock clock({2026, 12, 7, 9, 5, 7, 0});
    EventLog log(clock);
    log.attach(path.string());
    ASSERT_EQ(log.lines().size(), 257u);
    log.add("Запуск программы");
    ASSERT_EQ(log.lines().size(), 257u);
    EXPECT_EQ(log.lines().front(), "строка 1");
    EXPECT_EQ(log.lines().back(), "[9:05:07 7.12.2026]     Запуск программы");
    const std::string saved = file_text(path);
    EXPECT_TRUE(saved.starts_with("строка 1\r\n")) << saved.substr(0, 40);
    EXPECT_NE(saved.find("строка 256\r\n[9:05:07 7.12.2026]     Запуск программы\r\n"),
              std::string::npos);

    log.add("");
    EXPECT_EQ(log.lines().back(), "");
    EXPECT_EQ(log.lines().size(), 257u);
    EXPECT_EQ(event_stamp({2011, 3, 25, 14, 30, 0, 0}), "[14:30:00 25.03.2011]     ");

    log.attach("/nonexistent/dir/события.txt");  // a missing file: an empty journal
    EXPECT_TRUE(log.lines().empty());
    log.add("x");
    EXPECT_FALSE(log.save());  // the line stays, the failure is told
    EXPECT_EQ(log.lines().size(), 1u);
}

// Both programs write the journal through the workstation: start, then at the end the
// closing line and an empty line, so sessions stay apart in the file.
TEST(EventLog, a_workstation_session_leaves_its_start_and_end_with_an_empty_line_after) {
    vetra::test::TempDir dir;
    ::setenv("VETRA_MAILSLOT_DIR", dir.path().c_str(), 1);
    for (int session = 0; session < 2; ++session) {
        settings::GlobalSettings settings;
        vetra::test::RecordingOperator op;
        library::ManualClock clock({2026, 12, 7, 9, 5, 7, 0});
        control::VetraSystem system(settings, op, clock);
        app::Workstation workstation(system, settings, op, {dir.dir(), true, std::nullopt});
        workstation.start_up();
        workstation.event_log().add("запись оператора");
        std::string error;
        EXPECT_TRUE(workstation.shut_down(error)) << error;
        workstation.finish();
        workstation.finish();  // once only
    }
    const std::string stamp = "[9:05:07 7.12.2026]     ";
    const std::string one = stamp + "Запуск программы\r\n" + stamp + "запись оператора\r\n" +
                            stamp + "Закрытие программы\r\n\r\n";
    EXPECT_EQ(file_text(dir / "события.txt"), one + one);
}

}  // namespace
}  // namespace vetra::storage
