// Runs the built vetra-console as an operator would and checks what it leaves behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "library/cp1251.h"
#include "program_run.h"
#include "settings/ini_file.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace vetra::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kConsole = VETRA_CONSOLE_PATH;
constexpr auto kTimeLimit = 60s;

// The console with the sandbox's own mailslot directory and home (see ProgramRun).
class ConsoleRun : public ProgramRun {
public:
    ConsoleRun(const test::TempDir& sandbox, const std::vector<std::string>& args,
               const std::vector<std::string>& env = {})
        : ProgramRun(sandbox, "console", kConsole, args, env) {}
    Outcome wait() { return ProgramRun::wait(kTimeLimit); }
};

Outcome run_console(const test::TempDir& sandbox, const std::vector<std::string>& args) {
    ConsoleRun run(sandbox, args);
    EXPECT_TRUE(run.started());
    return run.wait();
}

// A short demonstration run: 2 points per second instead of 8.
const std::string kFastDemo = "[время]\r\nпосылок_в_секунду=2\r\n";

void expect_a_saved_program_directory(const fs::path& program_dir) {
    const std::string ini = settings_text(program_dir);
    EXPECT_NE(ini.find("[VetraSystem]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("FirstStart=0"), std::string::npos) << ini;
    EXPECT_TRUE(fs::is_directory(program_dir / "default" / "default"));
}

TEST(ConsoleRuns, two_demonstration_cycles_leave_a_saved_program_directory) {
    test::TempDir sandbox;
    const fs::path program_dir = sandbox / "program";
    // A WITS address without its port: said, not silently nothing.
    write_settings(program_dir, kFastDemo + "[wits]\r\nout=2\r\nout_address=127.0.0.1\r\n");

    const Outcome r = run_console(
        sandbox, {"--demo", "--cycles", "2", "--verbose", "--dir", program_dir.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.err, "cycle finished, status -100"), 2u) << r.err;
    EXPECT_EQ(count_of(r.err, "vetra-console: WITS передача: неверный адрес \"127.0.0.1\"\n"), 1u)
        << r.err;
    // Without a calibration every published concentration is 0.
    EXPECT_EQ(count_of(r.out, "метан_абс=0\nэтан_абс=0\n"), 2u) << r.out;
    EXPECT_EQ(count_of(r.out, "гексан_отн=0\nвремя_запуска="), 2u) << r.out;
    expect_a_saved_program_directory(program_dir);
    const std::string ini = settings_text(program_dir);
    EXPECT_NE(ini.find("посылок_в_секунду=2"), std::string::npos);
    // Demonstration mode was for this session only.
    EXPECT_NE(ini.find("demo=0"), std::string::npos);
    EXPECT_EQ(ini.find("demo=1"), std::string::npos);
}

TEST(ConsoleRuns, zero_cycles_creates_the_program_directory_and_keeps_stored_values) {
    test::TempDir sandbox;
    const fs::path program_dir = sandbox / "new" / "program";

    Outcome r = run_console(sandbox, {"--cycles", "0", "--dir", program_dir.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    expect_a_saved_program_directory(program_dir);

    // A second start checks the directory and keeps what the first one and the operator
    // left there.
    std::string edited = settings_text(program_dir);
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"work_mode=00000000", "work_mode=03000000"},
          {"time_mode_period=0", "time_mode_period=77"}}) {
        const auto at = edited.find(from);
        ASSERT_NE(at, std::string::npos) << edited;
        edited.replace(at, from.size(), to);
    }
    write_settings(program_dir, edited);
    r = run_console(sandbox, {"--cycles", "0", "--dir", program_dir.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string ini = settings_text(program_dir);
    EXPECT_NE(ini.find("work_mode=03000000"), std::string::npos) << ini;
    EXPECT_NE(ini.find("time_mode_period=77"), std::string::npos) << ini;
    EXPECT_EQ(count_of(ini, "[VetraSystem]"), 1u);
}

TEST(ConsoleRuns, sigterm_during_a_cycle_shuts_down_in_order) {
    test::TempDir sandbox;
    const fs::path program_dir = sandbox / "program";
    ConsoleRun run(sandbox, {"--demo", "--verbose", "--dir", program_dir.string()});
    ASSERT_TRUE(run.started());
    const auto end = std::chrono::steady_clock::now() + kTimeLimit;
    while (run.err_so_far().find("cycle started") == std::string::npos &&
           std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_NE(run.err_so_far().find("cycle started"), std::string::npos);
    run.signal(SIGTERM);

    const Outcome r = run.wait();
    EXPECT_EQ(r.status, 0) << r.err;
    expect_a_saved_program_directory(program_dir);
}

// A dead line ends a run of N cycles in every mode that starts cycles by itself: each
// failed start counts.
struct DeadLineCase {
    const char* name;
    const char* mode;
    bool port_exists;  // a line that is there but never answers
};

void PrintTo(const DeadLineCase& c, std::ostream* os) {
    *os << c.name;
}

class ConsoleDeadLine : public ::testing::TestWithParam<DeadLineCase> {};

TEST_P(ConsoleDeadLine, is_reported_and_the_run_ends_normally) {
    const DeadLineCase& c = GetParam();
    test::TempDir sandbox;
    const fs::path program_dir = sandbox / "program";
    std::optional<test::PtyPair> pty;
    std::string port = "/nonexistent/ttyVETRA";
    if (c.port_exists) {
        port = pty.emplace().slave_path();
    }
    const Outcome r = run_console(sandbox, {"--port", port, "--mode", c.mode, "--cycles", "1",
                                            "--dir", program_dir.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string message =
        c.port_exists ? "Хроматограф не ответил после запроса!\n"
                      : "ОШИБКА: Невозможно открыть порт /nonexistent/ttyVETRA. Возможно он "
                        "отсутствует на компьютере, или занят другим устройством.\n";
    EXPECT_EQ(count_of(r.err, message), 1u) << r.err;
    // The port was for this session only.
    EXPECT_EQ(settings_text(program_dir).find(port), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Modes, ConsoleDeadLine,
                         ::testing::Values(DeadLineCase{"manual_missing_port", "0", false},
                                           DeadLineCase{"by_time_missing_port", "1", false},
                                           DeadLineCase{"continuous_missing_port", "2", false},
                                           DeadLineCase{"continuous_silent_line", "2", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A model 1 chromatograph whose built-in totalizer is missing: it answers the totalizer
// command with sample frames only, so the workstation gives the totalizer up and saves the
// settings in the middle of the run.
class TotalizerlessDevice {
public:
    explicit TotalizerlessDevice(const test::PtyPair& pty)
        : thread_([&pty](std::stop_token stop) {
              while (!stop.stop_requested()) {
                  if (pty.read(9, 50ms).size() != 9) {
                      continue;
                  }
                  std::string frames;
                  for (int tick = 0; tick < 300; ++tick) {
                      frames += {static_cast<char>(0x80 | (tick & 0x7F)), 0x00, 0x10, 0x00};
                  }
                  pty.write(frames + "\xFF\xFF\xFF\xFF");
              }
          }) {}

private:
    std::jthread thread_;
};

TEST(ConsoleRuns, a_crash_after_a_save_in_the_middle_of_the_run_leaves_no_session_value) {
    test::TempDir sandbox;
    const fs::path program_dir = sandbox / "program";
    write_settings(program_dir,
                   "[порт]\r\ndevice_type=01000000\r\nимя=\"COM7\"\r\n"
                   "[газосумматор]\r\nuse=1\r\npresent=0\r\n");
    test::PtyPair pty;
    TotalizerlessDevice device(pty);
    ConsoleRun run(sandbox,
                   {"--port", pty.slave_path(), "--mode", "3", "--dir", program_dir.string()});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(wait_until(
        [&] { return run.err_so_far().find("Газосумматор не найден") != std::string::npos; },
        kTimeLimit))
        << run.err_so_far();
    run.signal(SIGKILL);
    run.wait();

    const std::string ini = settings_text(program_dir);
    EXPECT_NE(ini.find("use=0"), std::string::npos) << ini;  // the save did happen
    EXPECT_NE(ini.find("имя=\"COM7\""), std::string::npos) << ini;
    EXPECT_EQ(ini.find(pty.slave_path()), std::string::npos) << ini;
}

// --- files that cannot be written ---------------------------------------------------------

std::string journal_text(const fs::path& program_dir) {
    return library::cp1251_to_utf8(test::read_bytes(program_dir / "события.txt"));
}

// A directory or a file where a file or folder should be: what a read-only folder or a full
// disk does to a writer, whoever runs the test.
TEST(ConsoleFiles, results_are_shown_each_lost_file_is_named_once_and_the_status_is_3) {
    test::TempDir sandbox;
    const fs::path program_dir = sandbox / "program";
    write_settings(program_dir, kFastDemo + "[VetraSystem]\r\nsave_science_values=1\r\n");
    char day[16];
    const std::time_t now = std::time(nullptr);
    std::strftime(day, sizeof day, "%Y-%m-%d", std::localtime(&now));
    const std::vector<fs::path> blocked = {program_dir / "default" / "default" / "data.tim",
                                           program_dir / "vetra2.history"};
    for (const auto& path : blocked) {
        fs::create_directories(path);
    }
    test::write_bytes(program_dir / "TextData", "");
    fs::create_directories(program_dir / "Analiz");
    test::write_bytes(program_dir / "Analiz" / day, "");

    Outcome r = run_console(sandbox, {"--demo", "--cycles", "2", "--dir", program_dir.string()});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(count_of(r.out, "метан_абс="), 2u) << r.out;  // still shown and sent
    const std::string journal = journal_text(program_dir);
    for (const std::string& name : std::vector<std::string>{
             blocked[0].string(), blocked[1].string(), (program_dir / "TextData").string() + "/",
             (program_dir / "Analiz" / day).string() + "/"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(count_of(r.err, "Не удалось записать файл \"" + name), 1u) << r.err;
        EXPECT_EQ(count_of(journal, "Не удалось записать файл \"" + name), 1u) << journal;
    }

    // Settings that cannot be saved end the run with status 3 too.
    fs::remove(program_dir / "хроматограф.ini");
    fs::create_directory(program_dir / "хроматограф.ini");
    for (const auto& path : blocked) {
        fs::remove(path);
    }
    r = run_console(sandbox, {"--cycles", "0", "--dir", program_dir.string()});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(count_of(r.err, "хроматограф.ini"), 1u) << r.err;
}

// --- crash safety of the close -----------------------------------------------------------

std::set<std::pair<std::string, std::string>> keys_of(const fs::path& ini_path) {
    settings::IniFile ini;
    EXPECT_TRUE(ini.open(ini_path));
    std::set<std::pair<std::string, std::string>> keys;
    for (const auto& section : ini.section_names()) {
        for (const auto& key : ini.key_names(section)) {
            keys.emplace(section, key);
        }
    }
    return keys;
}

std::vector<std::string> temporaries_in(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".tmp-") != std::string::npos) {
            names.push_back(name);
        }
    }
    return names;
}

// The close writes the calibration and the settings; a kill after any of those renames (a
// power cut) must leave every key of both, and the next start clears what crashes left.
TEST(ConsoleCrashSafety, a_kill_after_each_settings_rename_at_close_loses_no_key) {
    test::TempDir sandbox;
    const fs::path pristine = sandbox / "pristine";
    write_settings(pristine, "[газ]\r\nmin_gaz_value=0.25\r\n[оператор]\r\nсвой_ключ=1\r\n");
    ASSERT_EQ(run_console(sandbox, {"--cycles", "0", "--dir", pristine.string()}).status, 0);
    const auto settings_keys = keys_of(pristine / "хроматограф.ini");
    const auto calibration_keys = keys_of(pristine / "calibr.ini");
    for (const auto& key :
         std::vector<std::pair<std::string, std::string>>{{"газ", "min_gaz_value"},
                                                          {"газ", "item1"},
                                                          {"VetraSystem", "work_mode"},
                                                          {"wits", "out"},
                                                          {"оператор", "свой_ключ"},
                                                          {"порт", "device_type"}}) {
        ASSERT_EQ(settings_keys.count(key), 1u) << key.first << "/" << key.second;
    }
    ASSERT_FALSE(calibration_keys.empty());
    const fs::path data_dir = fs::path("default") / "default";
    test::write_bytes(pristine / ".хроматограф.ini.tmp-Ab12Cd", "left by an older version");
    test::write_bytes(pristine / ".vetra-tmp-Zz9Yy8", "left by a crash");
    test::write_bytes(pristine / data_dir / ".vetra-tmp-Qq1Ww2", std::string(4096, 'x'));

    int kills = 0;
    for (int n = 1; n <= 10; ++n) {
        SCOPED_TRACE("killed after settings rename " + std::to_string(n));
        const fs::path dir = sandbox / ("run" + std::to_string(n));
        fs::copy(pristine, dir, fs::copy_options::recursive);
        // Left a while ago: the clean-up spares one just made, its writer may be starting.
        for (const fs::path& left : {dir / ".хроматограф.ini.tmp-Ab12Cd", dir / ".vetra-tmp-Zz9Yy8",
                                     dir / data_dir / ".vetra-tmp-Qq1Ww2"}) {
            fs::last_write_time(left, fs::file_time_type::clock::now() - std::chrono::minutes(2));
        }
        ConsoleRun run(sandbox, {"--cycles", "0", "--dir", dir.string()},
                       {std::string("LD_PRELOAD=") + VETRA_RENAME_SHIM_PATH,
                        "VETRA_KILL_AFTER_INI_RENAME=" + std::to_string(n)});
        const Outcome r = run.wait();
        const auto keys = keys_of(dir / "хроматограф.ini");
        for (const auto& key : settings_keys) {
            EXPECT_EQ(keys.count(key), 1u) << key.first << "/" << key.second;
        }
        const auto calibration = keys_of(dir / "calibr.ini");
        for (const auto& key : calibration_keys) {
            EXPECT_EQ(calibration.count(key), 1u) << key.first << "/" << key.second;
        }
        settings::IniFile ini;
        ASSERT_TRUE(ini.open(dir / "хроматограф.ini"));
        EXPECT_EQ(ini.read_string("газ", "min_gaz_value", ""), "0.25");
        EXPECT_TRUE(temporaries_in(dir).empty());
        EXPECT_TRUE(temporaries_in(dir / data_dir).empty());
        if (r.status == 0) {
            break;  // no rename left to kill at
        }
        EXPECT_NE(r.err.find("killed after renaming"), std::string::npos) << r.err;
        ++kills;
    }
    EXPECT_GE(kills, 2);  // the calibration and the settings at least
}

// --- start-up failures -------------------------------------------------------------------

void expect_one_message_and_status_2(const Outcome& r) {
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(count_of(r.err, "\n"), 1u) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
}

TEST(ConsoleStartup, a_program_directory_under_a_regular_file_is_refused) {
    test::TempDir sandbox;
    const fs::path file = sandbox / "plain";
    test::write_bytes(file, "x");
    const fs::path program_dir = file / "program";

    const Outcome r = run_console(sandbox, {"--cycles", "0", "--dir", program_dir.string()});
    expect_one_message_and_status_2(r);
    EXPECT_NE(r.err.find(program_dir.string()), std::string::npos) << r.err;
    EXPECT_EQ(test::read_bytes(file), "x");
}

TEST(ConsoleStartup, a_read_only_program_directory_is_refused) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may write anywhere";
    }
    test::TempDir sandbox;
    const fs::path program_dir = sandbox / "program";
    fs::create_directories(program_dir);
    fs::permissions(program_dir, fs::perms::owner_read | fs::perms::owner_exec);

    const Outcome r = run_console(sandbox, {"--cycles", "0", "--dir", program_dir.string()});
    fs::permissions(program_dir, fs::perms::owner_all);
    expect_one_message_and_status_2(r);
    EXPECT_FALSE(fs::exists(program_dir / "хроматограф.ini"));
}

TEST(ConsoleStartup, an_unknown_option_or_mode_is_refused) {
    test::TempDir sandbox;
    const fs::path program_dir = sandbox / "program";
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--mode", "5", "--dir", program_dir.string()},
                                               {"--cycles", "-1", "--dir", program_dir.string()},
                                               {"--frobnicate", "--dir", program_dir.string()}}) {
        SCOPED_TRACE(args.front());
        const Outcome r = run_console(sandbox, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("usage"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(program_dir));
}

// A file edited by hand with overlapping windows loads as stored; the operator and the
// journal are told which two gases to set apart.
TEST(ConsoleStartup, overlapping_gas_windows_in_the_file_are_kept_and_reported) {
    test::TempDir sandbox;
    const fs::path program_dir = sandbox / "program";
    ASSERT_EQ(run_console(sandbox, {"--cycles", "0", "--dir", program_dir.string()}).status, 0);
    std::string edited = settings_text(program_dir);
    const std::string methane = "item1=\"метан C1 10 ";
    const auto at = edited.find(methane + "15 ");
    ASSERT_NE(at, std::string::npos) << edited;
    edited.replace(at, methane.size() + 3, methane + "33 ");
    write_settings(program_dir, edited);

    const Outcome r = run_console(sandbox, {"--cycles", "0", "--dir", program_dir.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string said =
        "Время выхода газа метан (10 - 33 с) пересекается со временем "
        "выхода газа этан (17 - 20 с)";
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    EXPECT_NE(journal_text(program_dir).find(said), std::string::npos);
    EXPECT_NE(settings_text(program_dir).find(methane + "33 "), std::string::npos);
}

}  // namespace
}  // namespace vetra::e2e
