// vetra-console against `vetra-sim rig`: 100 m drilled with two shows and four connections
// at 30 times real time; the shows come out at the scenario's depths when the depth is lagged
// here, one lag too deep when it is taken as sent.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/etalon_storage.h"
#include "analysis/gas_shows.h"
#include "analysis/gaz_list.h"
#include "library/clock.h"
#include "library/cp1251.h"
#include "library/number_text.h"
#include "program_run.h"
#include "storage/results_table.h"
#include "storage/show_file.h"
#include "support/temp_dir.h"
#include "support/xlsx_reader.h"

namespace vetra::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kSim = VETRA_SIM_PATH;
constexpr const char* kConsole = VETRA_CONSOLE_PATH;
constexpr const char* kTool = VETRA_TOOL_PATH;

// 100 m at 100 m/h: an hour of drilling, two minutes at 30x, then the last gas comes up.
constexpr const char* kScenario =
    "start_depth 1000\nend_depth 1100\nrop 100\nstand 20\nconnection 180\npump_rate 100\n"
    "lag 1500\nbackground 1000 0.4\nbackground 1100 0.6\nshow 1030 1034 3.0\n"
    "show 1066 1071 2.0\nconnection_gas 1.2\n";
// Taken as sent, a row has the bit depth when it is calculated: one lag (15 minutes at
// 100 m/h) and one 90 s cycle below the rock its gas came from.
constexpr double kAsSentMetres = (1500.0 / 100.0 + 1.5) / 60.0 * 100.0;

struct Truth {
    double top, bottom;
    std::string what;
};

std::vector<Truth> read_truth(const fs::path& path) {
    std::vector<Truth> out;
    std::istringstream in(test::read_bytes(path));
    Truth t;
    while (in >> t.top >> t.bottom && std::getline(in, t.what)) {
        t.what.erase(0, t.what.find_first_not_of(' '));
        out.push_back(t);
    }
    return out;
}

class RigRun {
public:
    // Plays the scenario against the console until the sim has drilled it and its gas is up.
    std::vector<analysis::GasShow> play(bool lag_here) {
        test::write_bytes(sandbox_ / "scenario.txt", kScenario);
        ProgramRun rig(sandbox_, "rig", kSim,
                       {"rig", "--scenario", (sandbox_ / "scenario.txt").string(), "--speed", "30",
                        "--truth", (sandbox_ / "truth.txt").string(), "--wits-port", "0"});
        std::string port;
        std::string pty;
        EXPECT_TRUE(wait_until(
            [&] {
                const std::string err = rig.err_so_far();
                const auto at = err.find("WITS on 127.0.0.1:");
                const std::string out = rig.out_so_far();
                if (at == std::string::npos || out.find('\n') == std::string::npos) {
                    return false;
                }
                port = err.substr(at + 18, err.find('\n', at) - at - 18);
                pty = out.substr(0, out.find('\n'));
                return true;
            },
            20s))
            << rig.err_so_far();
        write_program(port, lag_here);
        ProgramRun console(
            sandbox_, "console", kConsole,
            {"--dir", program_.string(), "--port", pty, "--cycles", "10000", "--timeout", "400"});
        EXPECT_TRUE(wait_until(
            [&] { return rig.err_so_far().find("its gas is up") != std::string::npos; }, 400s))
            << rig.err_so_far();
        console.signal(SIGTERM);
        const Outcome r = console.wait(60s);
        EXPECT_EQ(r.status, 0) << r.err;
        const fs::path well = program_ / "default" / "default";
        library::ManualClock clock;
        storage::ResultsTable table(clock);
        EXPECT_TRUE(table.open(well / "data.tim", true));
        rows_ = table.row_count();
        // The sample spacing: the median step between rows that have a depth.
        std::vector<double> steps;
        for (int i = 1; i < rows_; ++i) {
            const float a = table.row(i - 1)->depth;
            const float b = table.row(i)->depth;
            if (a > 0 && b > a) {
                steps.push_back(b - a);
            }
        }
        if (!steps.empty()) {
            std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
            spacing_ = steps[steps.size() / 2];
        }
        return storage::load_shows(well / storage::kShowFileName);
    }

    std::vector<Truth> truth() const { return read_truth(sandbox_ / "truth.txt"); }
    // `vetra-tool gaslog --pdf` of the interval, as pdftotext reads it ('.' for ',').
    std::string gaslog_text(double from, double to) const {
        const fs::path pdf = sandbox_ / "gaslog.pdf";
        ProgramRun tool(sandbox_, "gaslog", kTool,
                        {"gaslog", "--dir", program_.string(), "--from", std::to_string(from),
                         "--to", std::to_string(to), "--pdf", pdf.string()});
        const Outcome r = tool.wait(60s);
        EXPECT_EQ(r.status, 0) << r.err;
        if (const char* dir = std::getenv("VETRA_SHOT_DIR"); dir != nullptr && *dir != '\0') {
            std::error_code error;  // kept to be looked at
            fs::copy_file(pdf, fs::path(dir) / "rig-gaslog.pdf",
                          fs::copy_options::overwrite_existing, error);
        }
        std::string text = test::run_output("pdftotext -layout '" + pdf.string() + "' -");
        std::replace(text.begin(), text.end(), ',', '.');
        return text;
    }
    double spacing() const { return spacing_; }
    int rows() const { return rows_; }

private:
    void write_program(const std::string& port, bool lag_here) {
        fs::create_directories(program_);
        const std::string text =
            "[порт]\r\ndevice_type=00000000\r\n[время]\r\nпосылок_в_секунду=8\r\nвремя7=90\r\n"
            "[wits]\r\nin=2\r\nin_address=127.0.0.1:" +
            port + "\r\nin_depth_item=108\r\n[lag]\r\nsample_depth=" + (lag_here ? "1" : "0") +
            "\r\nlag_strokes=1500\r\nline_delay=0\r\n";
        test::write_bytes(program_ / "хроматограф.ini", library::utf8_to_cp1251(text));
        // Linear through two points at the simulator's response: area = percent x response.
        analysis::EtalonPoint low;
        analysis::EtalonPoint high;
        low.repeats = high.repeats = 1;
        double response = 100;
        for (std::size_t g = 0; g < analysis::GazList::default_gases().size(); ++g) {
            low.pairs.emplace_back(0.001, 0.001 * response);
            high.pairs.emplace_back(10, 10 * response);
            response -= 10;
        }
        analysis::EtalonStorage storage;
        storage.copyPointsFrom({low, high});
        ASSERT_TRUE(storage.save((program_ / analysis::EtalonStorage::kFileName).string()));
    }

    test::TempDir sandbox_;
    fs::path program_ = sandbox_ / "program";
    double spacing_ = 0;
    int rows_ = 0;
};

// Each truth interval has one show of its class near it (`offset` metres deeper), and there
// are no others.
void expect_shows(const std::vector<analysis::GasShow>& shows, const std::vector<Truth>& truth,
                  double tolerance, double offset) {
    std::vector<bool> matched(shows.size(), false);
    for (const auto& t : truth) {
        // The nearest show not taken yet is this one's.
        std::size_t best = shows.size();
        for (std::size_t i = 0; i < shows.size(); ++i) {
            if (!matched[i] &&
                (best == shows.size() || std::fabs(shows[i].top - (t.top + offset)) <
                                             std::fabs(shows[best].top - (t.top + offset)))) {
                best = i;
            }
        }
        ASSERT_LT(best, shows.size()) << t.what << " " << t.top << "-" << t.bottom;
        matched[best] = true;
        const auto& s = shows[best];
        EXPECT_EQ(analysis::show_class_key(s.show_class), t.what) << t.top << "-" << t.bottom;
        // A connection's gas comes up in a slug a sample or two long.
        const double slack = t.what == "connection gas" ? 1.5 : 0.0;
        EXPECT_NEAR(s.top, t.top + offset, tolerance + slack) << t.what;
        EXPECT_NEAR(s.bottom, t.bottom + offset, tolerance + slack) << t.what;
    }
    for (std::size_t i = 0; i < shows.size(); ++i) {
        EXPECT_TRUE(matched[i]) << "a show the scenario has not: " << shows[i].top << "-"
                                << shows[i].bottom;
    }
}

TEST(RigEndToEnd, lagged_here_the_shows_are_at_their_depths_and_connections_are_classed) {
    RigRun run;
    const auto shows = run.play(true);
    const auto truth = run.truth();
    ASSERT_EQ(truth.size(), 6u);  // two shows, four connections
    ASSERT_GT(run.rows(), 20);
    ASSERT_GT(run.spacing(), 0.0);
    expect_shows(shows, truth, run.spacing() + 0.5, 0);

    // The printed log labels each shade with its class and interval.
    ASSERT_FALSE(shows.empty());
    double from = shows[0].top;
    double to = shows[0].bottom;
    for (const auto& s : shows) {
        from = std::min(from, s.top);
        to = std::max(to, s.bottom);
    }
    const std::string text = run.gaslog_text(std::floor(from) - 5, std::ceil(to) + 5);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.find("фон"), std::string::npos);
    for (const auto& s : shows) {
        const std::string label = std::string(analysis::show_class_text(s.show_class)) + " " +
                                  library::fixed_to_text(s.top, 1, '.') + "-" +
                                  library::fixed_to_text(s.bottom, 1, '.');
        EXPECT_NE(text.find(label), std::string::npos) << label << "\n" << text;
    }
}

TEST(RigEndToEnd, as_sent_the_same_shows_come_out_one_lag_too_deep) {
    RigRun run;
    const auto shows = run.play(false);
    const auto truth = run.truth();
    std::vector<Truth> drilled;
    for (const auto& t : truth) {
        if (t.what == "drilling gas peak") {
            drilled.push_back(t);
        }
    }
    ASSERT_EQ(drilled.size(), 2u);
    for (const auto& t : drilled) {
        bool displaced = false;
        for (const auto& s : shows) {
            displaced =
                displaced || std::fabs(s.top - (t.top + kAsSentMetres)) <= run.spacing() + 0.5;
        }
        EXPECT_TRUE(displaced) << t.top << " should come out near " << t.top + kAsSentMetres;
    }
}

}  // namespace
}  // namespace vetra::e2e
