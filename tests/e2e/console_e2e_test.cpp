// Runs the built vetra-console as an operator would and checks what it leaves behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "library/cp1251.h"
#include "support/temp_dir.h"

extern char** environ;

namespace vetra::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kConsole = VETRA_CONSOLE_PATH;
constexpr auto kTimeLimit = 60s;

struct Outcome {
    int status = -1;  // exit status; -1 when killed or not finished in time
    std::string out;
    std::string err;
};

// One run of the console with its own program directory, mailslot directory and home, so
// that parallel tests and the user's own files stay apart.
class ConsoleRun {
public:
    ConsoleRun(const test::TempDir& sandbox, const std::vector<std::string>& args)
        : out_path_(sandbox / "stdout.txt"), err_path_(sandbox / "stderr.txt") {
        std::vector<std::string> env_text;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (!entry.starts_with("VETRA_") && !entry.starts_with("HOME=")) {
                env_text.push_back(entry);
            }
        }
        env_text.push_back("VETRA_MAILSLOT_DIR=" + (sandbox / "mailslot").string());
        env_text.push_back("HOME=" + sandbox.path().string());

        std::vector<std::string> argv_text{kConsole};
        argv_text.insert(argv_text.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argv_text) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : env_text) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, kConsole, &actions, nullptr, argv.data(), envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }

    ~ConsoleRun() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    bool started() const { return pid_ > 0; }
    std::string err_so_far() const { return test::read_bytes(err_path_); }
    void signal(int number) const { ::kill(pid_, number); }

    // Waits for the end within the time limit; a program that overruns it is killed.
    Outcome wait() {
        Outcome outcome;
        const auto end = std::chrono::steady_clock::now() + kTimeLimit;
        int raw = 0;
        while (pid_ > 0) {
            const pid_t done = ::waitpid(pid_, &raw, WNOHANG);
            if (done == pid_) {
                pid_ = -1;
                if (WIFEXITED(raw)) {
                    outcome.status = WEXITSTATUS(raw);
                }
                break;
            }
            if (std::chrono::steady_clock::now() >= end) {
                ADD_FAILURE() << "vetra-console did not end within the time limit";
                break;  // the destructor kills it
            }
            std::this_thread::sleep_for(20ms);
        }
        outcome.out = test::read_bytes(out_path_);
        outcome.err = test::read_bytes(err_path_);
        return outcome;
    }

private:
    fs::path out_path_;
    fs::path err_path_;
    pid_t pid_ = -1;
};

Outcome run_console(const test::TempDir& sandbox, const std::vector<std::string>& args) {
    ConsoleRun run(sandbox, args);
    EXPECT_TRUE(run.started());
    return run.wait();
}

// The settings file as text: it is stored in cp1251.
std::string settings_text(const fs::path& program_dir) {
    return library::cp1251_to_utf8(test::read_bytes(program_dir / "хроматограф.ini"));
}

void write_settings(const fs::path& program_dir, const std::string& utf8) {
    fs::create_directories(program_dir);
    test::write_bytes(program_dir / "хроматограф.ini", library::utf8_to_cp1251(utf8));
}

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
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
    write_settings(program_dir, kFastDemo);

    const Outcome r = run_console(
        sandbox, {"--demo", "--cycles", "2", "--verbose", "--dir", program_dir.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.err, "cycle finished, status -100"), 2u) << r.err;
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

TEST(ConsoleRuns, a_port_that_cannot_be_opened_is_reported_and_the_run_ends_normally) {
    test::TempDir sandbox;
    const fs::path program_dir = sandbox / "program";
    const Outcome r = run_console(sandbox, {"--port", "/nonexistent/ttyVETRA", "--cycles", "1",
                                            "--dir", program_dir.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("ОШИБКА: Невозможно открыть порт /nonexistent/ttyVETRA. Возможно он "
                         "отсутствует на компьютере, или занят другим устройством.\n"),
              std::string::npos)
        << r.err;
    // The port was for this session only.
    EXPECT_EQ(settings_text(program_dir).find("/nonexistent"), std::string::npos);
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

}  // namespace
}  // namespace vetra::e2e
