// The workstation window as a program: one window per program directory unless "-d".
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>

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

TEST(WindowInstances, a_second_window_leaves_silently_unless_told_d) {
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

}  // namespace
}  // namespace vetra::e2e
