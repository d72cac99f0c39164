// The Windows build under Wine, as it runs beside a station: vetra-sim (Linux) plays the
// instrument on its pseudo-terminal, which a fresh Wine prefix knows as COM5; vetra-console.exe
// runs a cycle on it, and a small Win32 station (station_helper.exe) owns the results mailslot
// and steers the console through its remote-control mailslot. Runs when VETRA_WINDOWS_BUILD
// names the Windows build directory (scripts/test.sh sets it); skipped otherwise.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "analysis/etalon_storage.h"
#include "analysis/gaz_list.h"
#include "library/cp1251.h"
#include "library/clock.h"
#include "library/number_text.h"
#include "program_run.h"
#include "storage/results_table.h"
#include "support/temp_dir.h"

#include <unistd.h>

namespace vetra::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kSim = VETRA_SIM_PATH;
constexpr const char* kWine = "/usr/bin/wine";  // spawned by path, not looked up
constexpr auto kRunLimit = 180s;
constexpr auto kStartLimit = 60s;  // a fresh Wine prefix takes a while on a busy machine
constexpr int kCycleSeconds = 90;
constexpr int kRate = 8;
constexpr double kTolerance = 0.01;
constexpr double kIntended[] = {0.8, 0.4, 0.3, 0.2, 0.1, 0.05};

const std::string kClosingMessage =
    "метан_абс=0\nэтан_абс=0\nпропан_абс=0\nбутан_абс=0\nпентан_абс=0\nгексан_абс=0\n"
    "сумм_газ=0\n"
    "метан_отн=0\nэтан_отн=0\nпропан_отн=0\nбутан_отн=0\nпентан_отн=0\nгексан_отн=0\n\n";

fs::path windows_build() {
    const char* dir = std::getenv("VETRA_WINDOWS_BUILD");
    return dir && *dir ? fs::absolute(dir) : fs::path();
}

// How a Windows program under Wine names a Linux path: drive Z: is the root.
std::string wine_path(const fs::path& path) {
    std::string text = "Z:" + path.string();
    for (char& c : text) {
        c = c == '/' ? '\\' : c;
    }
    return text;
}

std::map<std::string, double> first_list(const std::string& out) {
    std::map<std::string, double> list;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line) && !line.empty();) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) {
            list[line.substr(0, eq)] = library::parse_number(line.substr(eq + 1)).value_or(-1);
        }
    }
    return list;
}

// Windows programs end their lines with CR LF.
std::string unix_lines(std::string text) {
    std::erase(text, '\r');
    return text;
}

// The console's key=value block, up to its blank line: what the station receives too (the
// readable table the console prints after it is for a person).
std::string result_block(const std::string& out) {
    const std::string text = unix_lines(out);
    const auto end = text.find("\n\n");
    return end == std::string::npos ? text : text.substr(0, end + 2);
}

class WineBench : public ::testing::Test {
protected:
    void SetUp() override {
        if (windows_build().empty()) {
            GTEST_SKIP() << "VETRA_WINDOWS_BUILD is not set";
        }
        env_ = {"WINEPREFIX=" + (sandbox_ / "wine").string(), "WINEDEBUG=-all",
                "WINEDLLOVERRIDES=mscoree,mshtml="};
        env_.insert(env_.end(), screen_env_.begin(), screen_env_.end());
        // The Wine server first, apart and persistent, and the prefix made.
        ProgramRun init(sandbox_, "wineboot", "/bin/sh",
                        {"-c", "mkdir -p \"$WINEPREFIX\" && wineserver -p && wine cmd /c exit"},
                        env_);
        ASSERT_EQ(init.wait(kStartLimit * 2).status, 0)
            << test::read_bytes(sandbox_ / "wineboot.err");
    }

    void TearDown() override {
        if (!env_.empty()) {
            ProgramRun(sandbox_, "winekill", "/bin/sh", {"-c", "wineserver -k"}, env_)
                .wait(kStartLimit);
        }
    }

    // The simulator on its pseudo-terminal, which the prefix then calls `port` (COM5).
    void start_instrument(int model, const std::string& port = "com5") {
        model_ = model;
        sim_ = std::make_unique<ProgramRun>(
            sandbox_, "sim", kSim,
            std::vector<std::string>{"chromatograph", "--model", std::to_string(model), "--rate",
                                     std::to_string(kRate), "--speed", "30", "--truth",
                                     (sandbox_ / "truth.txt").string()});
        ASSERT_TRUE(wait_until([&] { return sim_->out_so_far().find('\n') != std::string::npos; },
                               kStartLimit));
        const std::string out = sim_->out_so_far();
        fs::create_symlink(out.substr(0, out.find('\n')),
                           sandbox_ / "wine" / "dosdevices" / port);
    }

    // Settings for a short cycle of the model, and a calibration that turns the fed areas
    // into the intended concentrations.
    void set_up_program(const std::string& extra = "") {
        write_settings(program_,
                       "[порт]\r\ndevice_type=0" + std::to_string(model_) +
                           "000000\r\n[время]\r\nпосылок_в_секунду=" + std::to_string(kRate) +
                           "\r\n" + (model_ == 0 ? "время7=" : "время5=") +
                           std::to_string(kCycleSeconds) + "\r\n" + extra);
        std::map<std::string, double> truth;
        std::istringstream in(test::read_bytes(sandbox_ / "truth.txt"));
        for (std::string line; std::getline(in, line);) {
            const auto eq = line.find('=');
            truth[line.substr(0, eq)] = library::parse_number(line.substr(eq + 1)).value_or(0);
        }
        analysis::EtalonPoint point;
        point.repeats = 1;
        const auto gases = analysis::GazList::default_gases();
        for (std::size_t g = 0; g < gases.size(); ++g) {
            point.pairs.emplace_back(kIntended[g], truth[gases[g].name]);
        }
        analysis::EtalonStorage storage;
        storage.copyPointsFrom({point});
        ASSERT_TRUE(storage.save((program_ / analysis::EtalonStorage::kFileName).string()));
    }

    std::unique_ptr<ProgramRun> windows_program(const std::string& name, const std::string& exe,
                                                const std::vector<std::string>& args) {
        std::vector<std::string> all{(windows_build() / exe).string()};
        all.insert(all.end(), args.begin(), args.end());
        return std::make_unique<ProgramRun>(sandbox_, name, kWine, all, env_);
    }

    std::unique_ptr<ProgramRun> station(const std::vector<std::string>& args) {
        std::vector<std::string> all{"--messages", "2", "--timeout", "170"};
        all.insert(all.end(), args.begin(), args.end());
        auto run = windows_program("station", "tests/station_helper.exe", all);
        EXPECT_TRUE(wait_until(
            [&] { return run->err_so_far().find("station: ready") != std::string::npos; },
            kStartLimit))
            << run->err_so_far();
        return run;
    }

    Outcome console(const std::vector<std::string>& args) {
        std::vector<std::string> all{"--dir", wine_path(program_), "--port", "COM5", "--verbose"};
        all.insert(all.end(), args.begin(), args.end());
        return windows_program("console", "src/app/vetra-console.exe", all)->wait(kRunLimit);
    }

    test::TempDir sandbox_;
    fs::path program_ = sandbox_ / "программа";
    std::vector<std::string> env_;
    // The prefix's desktop takes the display it is made with, so a window's X screen comes
    // before the prefix.
    std::vector<std::string> screen_env_;
    std::unique_ptr<ProgramRun> sim_;
    int model_ = 0;
};

class WineCycle : public WineBench, public ::testing::WithParamInterface<int> {};

TEST_P(WineCycle, the_station_receives_the_fed_sample_and_the_closing_zeros) {
    ASSERT_NO_FATAL_FAILURE(start_instrument(GetParam()));
    ASSERT_NO_FATAL_FAILURE(set_up_program());
    auto st = station({});
    const Outcome c = console({"--cycles", "1"});
    ASSERT_EQ(c.status, 0) << c.err;
    const auto list = first_list(c.out);
    const auto gases = analysis::GazList::default_gases();
    for (std::size_t g = 0; g < gases.size(); ++g) {
        const auto at = list.find(gases[g].name + "_абс");
        ASSERT_NE(at, list.end()) << c.out;
        EXPECT_NEAR(at->second, kIntended[g], kTolerance * kIntended[g]) << gases[g].name;
    }
    const Outcome s = st->wait(kRunLimit);
    EXPECT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(unix_lines(s.out), result_block(c.out) + kClosingMessage);
    // The files went where the operator expects them, under their own names.
    EXPECT_TRUE(fs::exists(program_ / "события.txt"));
    EXPECT_TRUE(fs::exists(program_ / "хроматограф.ini"));
}

INSTANTIATE_TEST_SUITE_P(Models, WineCycle, ::testing::Values(0, 1),
                         [](const auto& info) { return "model_" + std::to_string(info.param); });

TEST_F(WineBench, a_start_through_the_remote_control_mailslot_runs_a_cycle) {
    ASSERT_NO_FATAL_FAILURE(start_instrument(1));
    ASSERT_NO_FATAL_FAILURE(set_up_program("[VetraSystem]\r\nmax_depth_counter=0\r\n"));
    auto st = station({"--send", "operation=start", "--send", "depth=1234,5"});
    // By depth mark: nothing starts until the station says so.
    const Outcome c = console({"--mode", "3", "--cycles", "1"});
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(count_of(c.err, "cycle started"), 1u) << c.err;
    EXPECT_EQ(count_of(c.out, "время_расчета="), 1u) << c.out;
    const Outcome s = st->wait(kRunLimit);
    EXPECT_EQ(s.status, 0) << s.err;
    EXPECT_NE(s.err.find("station: sent"), std::string::npos);
    EXPECT_EQ(unix_lines(s.out), result_block(c.out) + kClosingMessage);
}

// The window as an operator gets it: the installer (VETRA_WINDOWS_SETUP) run silently into a
// fresh prefix in a Russian locale, on an X screen of its own; F5 ("Запуск") runs a cycle whose
// concentrations reach the table and the station; an upgrade and an uninstall keep the
// operator's files. With VETRA_SHOT_DIR set, the screen is kept as pictures along the way.
class WineWindow : public WineBench {
protected:
    void SetUp() override {
        const char* setup = std::getenv("VETRA_WINDOWS_SETUP");
        if (setup == nullptr || *setup == '\0') {
            GTEST_SKIP() << "VETRA_WINDOWS_SETUP is not set";
        }
        setup_ = setup;
        display_ = ":" + std::to_string(40 + ::getpid() % 50);
        xvfb_ = std::make_unique<ProgramRun>(
            sandbox_, "xvfb", "/usr/bin/Xvfb",
            std::vector<std::string>{display_, "-screen", "0", "1366x768x24", "-fbdir",
                                     sandbox_.dir(), "-nolisten", "tcp"});
        ASSERT_TRUE(wait_until([&] { return fs::exists(sandbox_ / "Xvfb_screen0"); }, 30s))
            << xvfb_->err_so_far();
        screen_env_ = {"DISPLAY=" + display_, "LANG=ru_RU.UTF-8", "LC_ALL=ru_RU.UTF-8"};
        WineBench::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        // Wine's own fonts have no Cyrillic; Windows has its own.
        const fs::path fonts = sandbox_ / "wine" / "drive_c" / "windows" / "Fonts";
        fs::create_directories(fonts);
        for (const char* font : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSansMono.ttf"}) {
            std::error_code ec;
            fs::copy_file(fs::path("/usr/share/fonts/truetype/dejavu") / font, fonts / font, ec);
        }
    }

    Outcome install() {
        return ProgramRun(sandbox_, "setup", kWine, {setup_, "/S", "/D=C:\\Vetra"}, env_)
            .wait(kRunLimit);
    }

    // The screen helper: pictures of the screen and keys pressed on it.
    Outcome screen(const std::vector<std::string>& args) {
        std::vector<std::string> all{VETRA_X11_SCREEN};
        all.insert(all.end(), args.begin(), args.end());
        return ProgramRun(sandbox_, "screen", "/usr/bin/python3", all, {"DISPLAY=" + display_})
            .wait(30s);
    }
    void keys(const std::vector<std::string>& names) {
        std::vector<std::string> args{"key"};
        args.insert(args.end(), names.begin(), names.end());
        EXPECT_EQ(screen(args).status, 0);
    }
    void shot(const std::string& name) {
        if (const char* dir = std::getenv("VETRA_SHOT_DIR"); dir != nullptr && *dir != '\0') {
            EXPECT_EQ(screen({"shot", (sandbox_ / "Xvfb_screen0").string(),
                              (fs::path(dir) / ("wine-" + name + ".png")).string()})
                          .status,
                      0);
        }
    }

    std::string setup_;
    std::string display_;
    std::unique_ptr<ProgramRun> xvfb_;
};

TEST_F(WineWindow, the_installed_window_runs_a_cycle_and_the_operators_files_outlive_it) {
    const fs::path installed = sandbox_ / "wine" / "drive_c" / "Vetra";
    const Outcome setup = install();
    ASSERT_EQ(setup.status, 0) << setup.err;
    for (const char* file : {"vetra.exe", "vetra-console.exe", "vetra-tool.exe", "uninstall.exe",
                             "platforms/qwindows.dll", "translations/qtbase_ru.qm"}) {
        EXPECT_TRUE(fs::exists(installed / file)) << file;
    }
    // The sample program directory came with a first install.
    EXPECT_TRUE(fs::exists(installed / "хроматограф.ini"));
    EXPECT_TRUE(fs::exists(installed / "calibr.ini"));

    program_ = installed;
    ASSERT_NO_FATAL_FAILURE(start_instrument(0, "com7"));
    ASSERT_NO_FATAL_FAILURE(set_up_program("[режим_работы]\r\nFirstStart=0\r\n"));
    auto st = station({});
    const auto started = std::chrono::steady_clock::now();
    ProgramRun window(sandbox_, "window", kWine, {"C:\\Vetra\\vetra.exe", "--port", "COM7"},
                      env_);
    const std::string framebuffer = (sandbox_ / "Xvfb_screen0").string();
    ASSERT_TRUE(wait_until([&] { return screen({"drawn", framebuffer}).status == 0; }, 60s))
        << window.err_so_far();
    const double mapped =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("window mapped %.1f s after its start\n", mapped);
    std::this_thread::sleep_for(3s);  // its first paint done
    shot("started");

    keys({"F5"});
    ASSERT_TRUE(wait_until(
        [&] { return st->out_so_far().find("сумм_газ=") != std::string::npos; }, kRunLimit))
        << window.err_so_far();
    std::this_thread::sleep_for(2s);
    shot("after-cycle");
    // The table the window stored holds the sample's concentrations.
    library::SystemClock clock;
    storage::ResultsTable table(clock);
    ASSERT_TRUE(table.open(installed / "default" / "default" / "data.tim", true));
    ASSERT_EQ(table.row_count(), 1);
    const auto row = table.row(0);
    ASSERT_TRUE(row);
    const auto list = first_list(unix_lines(st->out_so_far()));
    const auto gases = analysis::GazList::default_gases();
    for (std::size_t g = 0; g < gases.size(); ++g) {
        EXPECT_NEAR(row->values[g], kIntended[g], kTolerance * kIntended[g]) << gases[g].name;
        const auto at = list.find(gases[g].name + "_абс");
        ASSERT_NE(at, list.end()) << st->out_so_far();
        EXPECT_NEAR(at->second, kIntended[g], kTolerance * kIntended[g]) << gases[g].name;
    }

    // The table page's tab, where it is drawn on this screen (no window manager: the
    // window opens centred on 1366 x 768).
    keys({"click:296,103"});
    std::this_thread::sleep_for(1s);
    shot("table");
    keys({"click:486,133"});  // "Распечатать..."
    std::this_thread::sleep_for(2s);
    shot("print");
    keys({"Escape"});
    std::this_thread::sleep_for(1s);
    keys({"F11"});  // "Рабочие настройки", a Qt dialog
    std::this_thread::sleep_for(2s);
    shot("work-settings");
    keys({"Escape"});
    std::this_thread::sleep_for(1s);
    // Closing asks first, in Qt's own message box.
    keys({"alt+x"});
    std::this_thread::sleep_for(2s);
    shot("close-question");
    keys({"Tab", "space"});  // "Нет" has the focus, as a question to close should
    const Outcome closed = window.wait(60s);
    EXPECT_EQ(closed.status, 0) << closed.err;
    const Outcome s = st->wait(kRunLimit);
    EXPECT_EQ(s.status, 0) << s.err;
    EXPECT_NE(unix_lines(s.out).find(kClosingMessage), std::string::npos) << s.out;

    // An upgrade over it keeps the operator's settings and calibration as they are.
    const std::string ini = test::read_bytes(installed / "хроматограф.ini");
    const std::string calibration = test::read_bytes(installed / "calibr.ini");
    ASSERT_EQ(install().status, 0);
    EXPECT_EQ(test::read_bytes(installed / "хроматограф.ini"), ini);
    EXPECT_EQ(test::read_bytes(installed / "calibr.ini"), calibration);

    // Uninstalling takes the program and leaves the operator's files.
    const Outcome removed = ProgramRun(sandbox_, "uninstall", kWine,
                                       {"C:\\Vetra\\uninstall.exe", "/S", "_?=C:\\Vetra"}, env_)
                                .wait(kRunLimit);
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_FALSE(fs::exists(installed / "vetra.exe"));
    EXPECT_FALSE(fs::exists(installed / "platforms"));
    EXPECT_EQ(test::read_bytes(installed / "хроматограф.ini"), ini);
    EXPECT_EQ(test::read_bytes(installed / "calibr.ini"), calibration);
    EXPECT_TRUE(fs::exists(installed / "события.txt"));
}

}  // namespace
}  // namespace vetra::e2e
