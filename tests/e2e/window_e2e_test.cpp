// The workstation window as a program: one window per program directory unless "-d".
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "library/cp1251.h"
#include "program_run.h"
#include "support/temp_dir.h"

namespace vetra::e2e {
namespace {

using namespace std::chrono_literals;

constexpr const char* kWindow = VETRA_WINDOW_PATH;

ProgramRun window(const test::TempDir& sandbox, const std::string& name,
                  const std::vector<std::string>& extra) {
    std::vector<std::string> args{"--demo", "--dir", (sandbox / "program").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return ProgramRun(sandbox, name, kWindow, args, {"QT_QPA_PLATFORM=offscreen"});
}

TEST(WindowInstances, a_second_window_says_so_and_leaves_unless_told_d) {
    test::TempDir sandbox;
    ProgramRun first = window(sandbox, "first", {});
    // The data directory is made after the window has taken the program directory.
    ASSERT_TRUE(wait_until(
        [&] { return std::filesystem::is_directory(sandbox / "program" / "default"); }, 30s));

    ProgramRun second = window(sandbox, "second", {});
    const Outcome refused = second.wait(30s);
    EXPECT_EQ(refused.status, 0);
    EXPECT_EQ(refused.out, "");

    ProgramRun third = window(sandbox, "third", {"-d"});
    EXPECT_FALSE(wait_until([&] { return !third.running(); }, 1500ms)) << third.err_so_far();
    EXPECT_TRUE(first.running());
}

// A logout sends SIGHUP and SIGTERM: the window closes in order, as after its question.
TEST(WindowSession, a_terminating_signal_closes_the_window_in_order) {
    test::TempDir sandbox;
    ProgramRun run = window(sandbox, "window", {});
    ASSERT_TRUE(wait_until(
        [&] { return std::filesystem::is_directory(sandbox / "program" / "default"); }, 30s));
    std::this_thread::sleep_for(500ms);  // past start-up, into the event loop
    run.signal(SIGTERM);
    const Outcome ended = run.wait(30s);
    EXPECT_EQ(ended.status, 0) << ended.err;
    const std::string ini =
        library::cp1251_to_utf8(test::read_bytes(sandbox / "program" / "хроматограф.ini"));
    EXPECT_NE(ini.find("FirstStart=0"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[главное_окно]"), std::string::npos);
}

}  // namespace
}  // namespace vetra::e2e
