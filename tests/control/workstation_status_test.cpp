// The state the status line shows and the journal lines of trouble: one per spell, never one
// per tick. And the console's readable copy of a result list.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/console_report.h"
#include "app/workstation_status.h"
#include "library/file_reporter.h"
#include "storage/event_log.h"
#include "system_rig.h"

namespace vetra::control::rig {
namespace {

using app::ChromatographState;
using app::Health;

class WorkstationStatusTest : public VetraSystemTest {
protected:
    WorkstationStatusTest() {
        journal.attach((dir / "события.txt").string());
        settings.remote_control = false;
        settings.device_type = settings::kModelTd5;
    }
    // A tick as the window makes it: the status first, then the controller.
    void status_tick() {
        status.update();
        (void)tick_error();
    }
    // The journal's texts without their time stamps.
    std::vector<std::string> journal_texts() const {
        std::vector<std::string> texts;
        for (const auto& line : journal.lines()) {
            texts.push_back(line.substr(line.find("]     ") + 6));
        }
        return texts;
    }

    storage::EventLog journal{clock};
    app::WorkstationStatus status{system, journal};
};

TEST_F(WorkstationStatusTest, link_trouble_is_journalled_once_per_spell_and_shown_with_the_frame) {
    settings.demo = false;
    EXPECT_EQ(status.chromatograph().health, Health::waiting);
    EXPECT_EQ(status.station().health, Health::waiting);
    settings.port_name = kMissingPort;
    system.set_work_mode(kContinuous);
    for (int i = 0; i < 5; ++i) {
        status_tick();
    }
    EXPECT_EQ(status.chromatograph_state(), ChromatographState::cannot_open);
    EXPECT_EQ(status.chromatograph().health, Health::fault);
    EXPECT_EQ(status.chromatograph().text, "/nonexistent/ttyVETRA ТД-5ЛК: порт не открывается");
    EXPECT_EQ(journal_texts(), std::vector<std::string>{"Не удалось открыть порт хроматографа " +
                                                        std::string(kMissingPort)});

    // A good cycle, then one whose line falls silent, then a start nobody answers.
    system.set_work_mode(kManual);
    const DeviceStep silent{.answer = false, .frames = 0, .closing = false};
    use_device({DeviceStep{.frames = 40}, DeviceStep{.frames = 40, .closing = false}, silent,
                silent});  // the program frame goes out twice
    system.start_analysis();
    ASSERT_TRUE(wait_idle());
    status_tick();
    EXPECT_EQ(status.chromatograph_state(), ChromatographState::receiving);
    ASSERT_TRUE(status.last_frame());
    EXPECT_EQ(status.chromatograph().text.substr(status.chromatograph().text.find(": ")),
              ": связь есть, кадр 12:00:02");
    clock.advance(std::chrono::milliseconds(app::WorkstationStatus::kFreshMs + 100));
    status.update();
    EXPECT_EQ(status.chromatograph_state(), ChromatographState::ready);
    EXPECT_EQ(status.chromatograph().health, Health::ok);

    system.start_analysis();
    ASSERT_TRUE(wait_idle());
    status_tick();
    EXPECT_EQ(status.chromatograph_state(), ChromatographState::lost);
    EXPECT_NE(status.chromatograph().text.find("связь потеряна, кадр 12:00:0"), std::string::npos);
    EXPECT_THROW(system.start_analysis(), VetraError);
    EXPECT_EQ(status.chromatograph_state(), ChromatographState::no_answer);
    for (int i = 0; i < 3; ++i) {
        status.update();
    }
    const auto texts = journal_texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[1], "Связь с хроматографом восстановлена (порт " + settings.port_name + ")");
    EXPECT_EQ(texts[2].rfind("Потеряна связь с хроматографом (порт " + settings.port_name +
                                 "), последний кадр в 12:00:0",
                             0),
              0u)
        << texts[2];
    EXPECT_EQ(texts[3], "Хроматограф не отвечает (порт " + settings.port_name + ")");
}

TEST_F(WorkstationStatusTest, time_mode_counts_down_and_the_other_fields_say_their_state) {
    system.set_work_mode(kByTime);
    system.set_time_mode_period(60);
    EXPECT_EQ(status.mode().text, "Временной режим, запуск через 1:01");
    for (int i = 0; i < 50; ++i) {
        clock.advance(std::chrono::milliseconds(600));  // 30 s of ticks, 400 ms + 200 ms
        system.on_timer_tick();
    }
    EXPECT_EQ(status.mode().text, "Временной режим, запуск через 0:30");
    system.set_work_mode(kManual);
    EXPECT_EQ(status.mode().text, "Ручной режим");
    EXPECT_FALSE(status.seconds_to_next_start());

    EXPECT_EQ(status.last_analysis().text, "Анализ: ещё не было");
    ::setenv("VETRA_MAILSLOT_DIR", dir.dir().c_str(), 1);
    system.station().send_totalizer(1.0);  // no station listens here
    ::unsetenv("VETRA_MAILSLOT_DIR");
    settings.remote_control = false;
    EXPECT_EQ(status.station().text, "Станция: не принимает");
    settings.remote_control = true;  // and its own mailslot could not be made
    EXPECT_EQ(status.station().text, "Станция: не принимает, управление недоступно");
    EXPECT_EQ(status.totalizer().health, Health::off);
    EXPECT_EQ(status.wits().health, Health::off);
    EXPECT_EQ(status.files().health, Health::off);

    status.set_wits_state(app::WitsDirection::output, Health::waiting, "порт 5005, нет приёмника");
    status.set_wits_state(app::WitsDirection::input, Health::ok, "глубина есть");
    EXPECT_EQ(status.wits().text, "WITS: выход порт 5005, нет приёмника; вход глубина есть");
    EXPECT_EQ(status.wits().health, Health::waiting);

    status.file_failed("data.tim", "нет места на диске");
    status.file_failed("data.tim", "нет места на диске");
    status.file_failed("vetra2.history", "");
    EXPECT_EQ(status.files().text, "Не записаны файлы: 2");
    EXPECT_EQ(status.files().detail, "data.tim: нет места на диске\nvetra2.history");
    status.file_recovered("vetra2.history");
    status.file_recovered("vetra2.history");
    EXPECT_EQ(status.files().text, "Не записан файл data.tim");
    EXPECT_EQ(journal_texts(), (std::vector<std::string>{
                                   library::file_failure_text("data.tim", "нет места на диске"),
                                   library::file_failure_text("vetra2.history", ""),
                                   library::file_recovered_text("vetra2.history")}));
}

TEST_F(WorkstationStatusTest, a_refused_remote_value_is_journalled) {
    settings.remote_control = true;
    say({RemoteSource::kMode, 0.0f, -1, 7, "operation=mode; value=7"});
    status_tick();
    EXPECT_EQ(journal_texts(), std::vector<std::string>{
                                   "Отклонено сообщение станции \"operation=mode; value=7\": режим "
                                   "должен быть целым числом от 0 до 4, режим не изменён"});
}

TEST(ConsoleReport, a_result_list_reads_as_a_table_without_equals_signs) {
    const auto gas = [](std::string name, double c) {
        analysis::GazResult r;
        r.name = std::move(name);
        r.key = r.name + "_абс";
        r.concentration = c;
        return r;
    };
    const auto derived = [](std::string name, double c) {
        analysis::GazResult r;
        r.name = std::move(name);
        r.key = r.name;
        r.concentration = c;
        r.derived = true;
        return r;
    };
    const std::vector<analysis::GazResult> results{
        gas("метан", 0.75), gas("изобутан", 0.25), derived("сумм_газ", 1.0),
        derived("метан_отн", 75.0), derived("изобутан_отн", 25.0)};
    const double start = library::to_day_number({2026, 12, 7, 9, 5, 7, 0});
    const auto lines = app::readable_results(results, start, start + 100 * library::kSecondInDays);
    const std::vector<std::string> expected{
        "Газ        абс., %     отн., %", "метан      0.75        75",
        "изобутан   0.25        25",      "сумма      1",
        "Запуск     07.12.2026 09:05:07", "Расчёт     07.12.2026 09:06:47"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(app::cycle_end_words(-96), "Цикл окончен: хроматограф прислал кадр окончания");
    EXPECT_EQ(app::cycle_end_words(-99), "Цикл прерван: потеряна связь с хроматографом");
    EXPECT_EQ(app::cycle_end_words(7), "Цикл окончен с кодом 7");
}

}  // namespace
}  // namespace vetra::control::rig
