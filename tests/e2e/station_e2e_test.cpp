// The workstation and a simulated registration station, both as built: the station steers
// vetra-console through its remote-control mailslot, receives its results and serves values.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "link/station_client.h"
#include "program_run.h"
#include "support/temp_dir.h"

namespace vetra::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kConsole = VETRA_CONSOLE_PATH;
constexpr const char* kSim = VETRA_SIM_PATH;
constexpr auto kTimeLimit = 60s;
constexpr auto kStartLimit = 10s;

// Demonstration cycles of about a second and a half: 2 points per second instead of 8.
const std::string kFastDemo = "[время]\r\nпосылок_в_секунду=2\r\n";

const std::string kClosingMessage =
    "метан_абс=0\nэтан_абс=0\nпропан_абс=0\nбутан_абс=0\nпентан_абс=0\nгексан_абс=0\n"
    "сумм_газ=0\n"
    "метан_отн=0\nэтан_отн=0\nпропан_отн=0\nбутан_отн=0\nпентан_отн=0\nгексан_отн=0\n\n";

bool err_shows(const ProgramRun& run, const std::string& text) {
    return wait_until([&] { return run.err_so_far().find(text) != std::string::npos; },
                      kStartLimit);
}

bool out_shows(const ProgramRun& run, const std::string& text) {
    return wait_until([&] { return run.out_so_far().find(text) != std::string::npos; },
                      kStartLimit);
}

class StationE2E : public ::testing::Test {
protected:
    void SetUp() override { write_settings(program_dir_, kFastDemo); }

    fs::path program_dir() const { return program_dir_; }

    ProgramRun console(const std::vector<std::string>& args,
                       const std::vector<std::string>& env = {}) {
        std::vector<std::string> all{"--demo", "--verbose", "--dir", program_dir_.string()};
        all.insert(all.end(), args.begin(), args.end());
        return ProgramRun(sandbox_, "console", kConsole, all, env);
    }

    // The station owning its results mailslot (and, unless told otherwise, a value port),
    // ready when it says so. It ends by itself should a test leave it behind.
    ProgramRun& station(const std::vector<std::string>& args, const std::string& tag = "station") {
        std::vector<std::string> all{"station", "--timeout", "90"};
        all.insert(all.end(), args.begin(), args.end());
        stations_.emplace_back(std::make_unique<ProgramRun>(sandbox_, tag, kSim, all));
        ProgramRun& run = *stations_.back();
        EXPECT_TRUE(err_shows(run, "receiving results at")) << run.err_so_far();
        return run;
    }

    // Messages from the station, each of its lines, sent in order once the workstation's
    // mailslot is there.
    Outcome send(const std::vector<std::vector<std::string>>& messages,
                 const std::string& wait = "20") {
        std::vector<std::string> args{"station", "--send-only", "--wait", wait};
        for (const auto& lines : messages) {
            if (args.size() > 4) {
                args.push_back("--next");
            }
            for (const auto& line : lines) {
                args.push_back("--send");
                args.push_back(line);
            }
        }
        ProgramRun run(sandbox_, "send", kSim, args);
        return run.wait(kTimeLimit);
    }

    test::TempDir sandbox_;
    fs::path program_dir_ = sandbox_ / "program";
    std::vector<std::unique_ptr<ProgramRun>> stations_;
};

TEST_F(StationE2E, results_and_the_closing_message_reach_the_station_as_the_console_prints_them) {
    ProgramRun& st = station({"--no-tcp"});
    ProgramRun con = console({"--cycles", "1"});
    const Outcome c = con.wait(kTimeLimit);
    ASSERT_EQ(c.status, 0) << c.err;
    ASSERT_EQ(count_of(c.out, "время_расчета="), 1u) << c.out;

    // Each message decoded from cp1251 into lines, with an empty line after it: the result
    // list exactly as the console printed it, then the zeros of the shut-down.
    ASSERT_TRUE(out_shows(st, kClosingMessage)) << st.out_so_far();
    st.signal(SIGTERM);
    const Outcome s = st.wait(kTimeLimit);
    EXPECT_EQ(s.status, 0) << s.err;
    // The block is followed by the same list for a person, in lines without '=', and by how
    // the cycle ended.
    const std::string block = c.out.substr(0, c.out.find("\n\n") + 2);
    EXPECT_EQ(s.out, block + kClosingMessage);
    const std::string readable = c.out.substr(block.size());
    EXPECT_EQ(readable.find('='), std::string::npos) << readable;
    EXPECT_NE(readable.find("\nметан "), std::string::npos) << readable;
    EXPECT_NE(readable.find("\nРасчёт "), std::string::npos) << readable;
    EXPECT_NE(readable.find("Цикл окончен"), std::string::npos) << readable;
}

TEST_F(StationE2E, a_mode_message_switches_the_console_to_continuous_mode_and_cycles_run) {
    // By depth mark, with no series asked for, the console waits for ever.
    ProgramRun con = console({"--mode", "3", "--cycles", "2"});
    // Two messages the console cannot use come first: one too long for its mailslot and one
    // without a name it knows. They cost it a poll each and change nothing.
    const Outcome sent =
        send({{std::string(2000, 'x')}, {"колонка=5", "hello"}, {"operation=mode", "value=2"}});
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_EQ(count_of(sent.err, "sent: "), 3u) << sent.err;
    EXPECT_NE(sent.err.find("sent: operation=mode, value=2\n"), std::string::npos) << sent.err;

    const Outcome c = con.wait(kTimeLimit);
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(count_of(c.err, "cycle finished, status -100"), 2u) << c.err;
    EXPECT_EQ(count_of(c.out, "время_расчета="), 2u) << c.out;
    EXPECT_NE(settings_text(program_dir()).find("work_mode=02000000"), std::string::npos);
}

// A "start" in the depth-mark mode runs "max_depth_counter" entry cycles, which publish
// nothing, and then the measured cycle, which publishes one result list.
class DepthSeries : public StationE2E, public ::testing::WithParamInterface<int> {};

TEST_P(DepthSeries, a_start_runs_the_entry_cycles_and_publishes_one_result_list) {
    const int entry_cycles = GetParam();
    write_settings(program_dir(), kFastDemo + "[VetraSystem]\r\nmax_depth_counter=" +
                                      std::to_string(entry_cycles) + "\r\n");
    const int cycles = entry_cycles + 1;
    ProgramRun con = console({"--mode", "3", "--cycles", std::to_string(cycles)});
    const Outcome sent = send({{"operation=start", "depth=1234,5"}});
    EXPECT_EQ(sent.status, 0) << sent.err;

    const Outcome c = con.wait(kTimeLimit);
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(count_of(c.err, "cycle started"), static_cast<std::size_t>(cycles)) << c.err;
    EXPECT_EQ(count_of(c.err, "cycle finished, status -100"), static_cast<std::size_t>(cycles));
    EXPECT_EQ(count_of(c.out, "время_расчета="), 1u) << c.out;
    EXPECT_EQ(count_of(c.out, "метан_абс="), 1u) << c.out;
    EXPECT_NE(settings_text(program_dir()).find("work_mode=03000000"), std::string::npos);
}

// The default of three, as an operator has it, and the shorter series the setting allows.
INSTANTIATE_TEST_SUITE_P(EntryCycles, DepthSeries, ::testing::Values(3, 1, 0));

TEST_F(StationE2E, a_message_with_nobody_to_read_it_is_reported_and_fails) {
    const Outcome sent = send({{"operation=start"}}, "0,3");
    EXPECT_EQ(sent.status, 1);
    EXPECT_NE(sent.err.find("not sent"), std::string::npos) << sent.err;
}

// --- the value port ----------------------------------------------------------------------

std::uint16_t port_from(const std::string& err) {
    const std::string marker = "serving values on 127.0.0.1:";
    const auto at = err.find(marker);
    return at == std::string::npos
               ? 0
               : static_cast<std::uint16_t>(std::stoi(err.substr(at + marker.size())));
}

TEST_F(StationE2E, the_station_serves_its_values_to_the_value_client) {
    ProgramRun& st =
        station({"--tcp-port", "0", "--value", "Сумм_газ3=1,5", "--value", "метан=0.2"});
    ASSERT_TRUE(err_shows(st, "serving values on")) << st.err_so_far();
    const std::uint16_t port = port_from(st.err_so_far());
    ASSERT_NE(port, 0) << st.err_so_far();

    link::TDataModule1 client(port);
    EXPECT_EQ(client.fetch_station_value("127.0.0.1", "сумм_газ3"), 1.5);
    EXPECT_EQ(client.fetch_station_value("127.0.0.1", "метан"), 0.2);
    EXPECT_EQ(client.fetch_station_value("127.0.0.1", "этан"), 0.0);
    EXPECT_TRUE(client.connected());
    EXPECT_EQ(count_of(st.err_so_far(), "value connection from 127.0.0.1:"), 1u);
}

class TotalizerMode : public StationE2E {
protected:
    // A station serving сумм_газ3 on a free port; the console is told that port.
    std::vector<std::string> station_serving(const std::string& value, const std::string& tag) {
        ProgramRun& run = station({"--tcp-port", "0", "--value", "сумм_газ3=" + value}, tag);
        EXPECT_TRUE(err_shows(run, "serving values on")) << run.err_so_far();
        last_station_ = &run;
        return {"VETRA_STATION_PORT=" + std::to_string(port_from(run.err_so_far()))};
    }
    void SetUp() override {
        write_settings(program_dir(), kFastDemo +
                                          "[порог]\r\nporog_po_summe_type=1\r\n"
                                          "porog_po_summe_value=1\r\n");
    }
    ProgramRun* last_station_ = nullptr;
};

TEST_F(TotalizerMode, a_station_value_above_the_threshold_starts_a_cycle_and_one_at_it_does_not) {
    {
        const auto env = station_serving("1", "low");
        ProgramRun con = console({"--mode", "4", "--timeout", "2"}, env);
        const Outcome c = con.wait(kTimeLimit);
        EXPECT_EQ(c.status, 0) << c.err;
        EXPECT_EQ(count_of(c.err, "cycle started"), 0u) << c.err;
        // It asked, though, on one connection kept open.
        EXPECT_EQ(count_of(last_station_->err_so_far(), "value connection from"), 1u)
            << last_station_->err_so_far();
        last_station_->signal(SIGTERM);
        EXPECT_EQ(last_station_->wait(kTimeLimit).status, 0);
    }
    const auto env = station_serving("1,5", "high");
    ProgramRun con = console({"--mode", "4", "--cycles", "1"}, env);
    const Outcome c = con.wait(kTimeLimit);
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(count_of(c.err, "cycle finished, status -100"), 1u) << c.err;
    EXPECT_EQ(count_of(last_station_->err_so_far(), "value connection from"), 1u)
        << last_station_->err_so_far();
}

}  // namespace
}  // namespace vetra::e2e
