#include "app/console_session.h"

#include "app/console_platform.h"
#include "app/workstation.h"

#include <algorithm>
#include "app/console_report.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "control/vetra_system.h"
#include "library/clock.h"
#include "library/file_reporter.h"
#include "library/operator.h"
#include "settings/global_settings.h"
#include "settings/program_directory.h"

namespace vetra::app {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTick = std::chrono::milliseconds(400);

std::atomic<bool> g_stop{false};

void print_error(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

class Session {
public:
    Session(const ConsoleOptions& options, std::string directory)
        : options_(options),
          system_(settings_, operator_, clock_),
          workstation_(system_, settings_, operator_,
                       {std::move(directory), options.demo, options.port}) {}

    void start_up() {
        // Each file once per failure spell, named, however many results it loses.
        file_failures_ = workstation_.files().spell_began.connect(
            [](const std::string& file, const std::string& error) {
                print_error("vetra-console: " + library::file_failure_text(file, error));
            });
        file_recoveries_ = workstation_.files().spell_ended.connect([](const std::string& file) {
            print_error("vetra-console: " + library::file_recovered_text(file));
        });
        workstation_.start_up();
        if (options_.mode) {
            system_.set_work_mode(*options_.mode);
        }
        system_.calculation().results_notification.connect(
            [this](const std::vector<analysis::GazResult>& results, float) {
                print_results(results);
            });
        system_.cycle_finished.connect([](int status) { print_words(cycle_end_words(status)); });
        system_.connection_lost.connect(
            [] { print_words(cycle_end_words(analysis::kStatusNoAnswer)); });
        if (options_.verbose) {
            system_.cycle_started.connect([] { print_error("vetra-console: cycle started"); });
            // The point count lets a run check that no point was lost on the line.
            system_.cycle_finished.connect([this](int status) {
                print_error("vetra-console: cycle finished, status " + std::to_string(status) +
                            ", points " + std::to_string(system_.link().sample_count()));
            });
        }
        workstation_.start_devices();
        if (options_.verbose) {
            print_wits_changes();
        }
    }

    void run() {
        const auto started = Clock::now();
        auto next_tick = started;
        while (!g_stop.load() && !done()) {
            if (options_.timeout_seconds &&
                Clock::now() - started >= std::chrono::seconds(*options_.timeout_seconds)) {
                break;
            }
            start_manual_cycle();
            // Deliver the acquisition's points as they come, until the next tick is due.
            while (Clock::now() < next_tick && !g_stop.load()) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(next_tick - Clock::now());
                system_.calls().wait_and_run(std::max(left, std::chrono::milliseconds(1)));
            }
            next_tick += kTick;
            if (Clock::now() > next_tick) {
                next_tick = Clock::now();  // never try to catch up on lost ticks
            }
            tick();
        }
    }

    // True when every result and file was stored and the settings were saved.
    bool shut_down() {
        std::string error;
        const bool saved = workstation_.shut_down(error);
        if (!saved && !workstation_.files().failing(settings_.settings_path)) {
            print_error(error);
        }
        workstation_.finish();
        return saved && workstation_.files().spells() == 0;
    }

private:
    // As the station receives it, in UTF-8, one line each, then an empty line.
    void print_results(const std::vector<analysis::GazResult>& results) {
        const auto lines = link::results_message_lines(control::result_lines(results),
                                                       system_.link().acquisition_start_time(),
                                                       system_.calculation().resultsTime());
        for (const auto& line : lines) {
            std::fprintf(stdout, "%s\n", line.c_str());
        }
        std::fputs("\n", stdout);
        // Then the same for a person: no '=' in these lines, closed by an empty line too.
        for (const auto& line : readable_results(results, system_.link().acquisition_start_time(),
                                                 system_.calculation().resultsTime())) {
            std::fprintf(stdout, "%s\n", line.c_str());
        }
        std::fputs("\n", stdout);
        std::fflush(stdout);
    }

    static void print_words(const std::string& text) {
        std::fprintf(stdout, "%s\n\n", text.c_str());
        std::fflush(stdout);
    }

    bool done() const { return options_.cycles && finished_ >= *options_.cycles; }

    // Manual mode: one cycle at once, as if "Запуск" were pressed, and another after each
    // finished one. A start that fails counts as a cycle (here and in tick()), so a dead line
    // cannot keep the run going in any mode.
    void start_manual_cycle() {
        if (system_.work_mode() != control::kManual || system_.state() != 1 ||
            system_.start_pending() || done()) {
            return;
        }
        try {
            system_.start_analysis();
        } catch (const control::VetraError& e) {
            print_error(e.what());
            ++finished_;
        }
    }

    void tick() {
        const int before = system_.state();
        workstation_.on_tick();
        try {
            system_.on_timer_tick();
        } catch (const control::VetraError& e) {
            print_error(e.what());
            // Only a start raises at an idle tick: the mode's trigger found the line dead.
            if (before == 1) {
                ++finished_;
            }
        }
        if (before == 0 && system_.state() == 1) {
            ++finished_;
        }
        if (options_.verbose) {
            print_wits_changes();
        }
    }

    // Each WITS link's state when it changes, so a wrong address or a missing receiver shows.
    void print_wits_changes() {
        auto lines = workstation_.wits_status_lines();
        if (lines != wits_lines_) {
            for (const auto& line : lines) {
                if (std::find(wits_lines_.begin(), wits_lines_.end(), line) == wits_lines_.end()) {
                    print_error("vetra-console: " + line);
                }
            }
            wits_lines_ = std::move(lines);
        }
    }

    const ConsoleOptions& options_;
    settings::GlobalSettings settings_;
    library::ConsoleOperator operator_;
    library::SystemClock clock_;
    control::VetraSystem system_;
    Workstation workstation_;
    boost::signals2::scoped_connection file_failures_;
    boost::signals2::scoped_connection file_recoveries_;
    long finished_ = 0;
    std::vector<std::string> wits_lines_;
};

}  // namespace

int run_console(const ConsoleOptions& options) {
    const std::string directory = settings::resolve_program_directory(options.directory);
    std::string error;
    if (!settings::prepare_program_directory(directory, error)) {
        print_error(error);
        return 2;
    }
    install_stop_handlers(g_stop);
    Session session(options, directory);
    session.start_up();
    session.run();
    // A result shown but not stored, or settings not saved, is not a clean run.
    const bool clean = session.shut_down();
    console_finished();
    return clean ? 0 : 3;
}

}  // namespace vetra::app
