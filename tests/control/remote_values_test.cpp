// What the station may set from afar: modes 0 to 4 and periods of at least one cycle.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "system_rig.h"

namespace vetra::control::rig {
namespace {

// A station's mode or period the controller cannot use is refused, keeps what was set and
// says so once in the journal's words; the cycle here is 120 s long.
TEST_F(VetraSystemTest, remote_modes_outside_the_five_and_periods_below_a_cycle_are_refused) {
    struct Case {
        int operation;
        std::int32_t period;
        std::int32_t mode;
        std::int32_t mode_after;
        std::int32_t period_after;
    };
    constexpr std::int32_t kLetter = RemoteSource::kBadValue;
    const std::array<Case, 16> cases{{{RemoteSource::kMode, -1, kManual, kManual, 300},
                                      {RemoteSource::kMode, -1, kByTime, kByTime, 300},
                                      {RemoteSource::kMode, -1, kContinuous, kContinuous, 300},
                                      {RemoteSource::kMode, -1, kByDepthMark, kByDepthMark, 300},
                                      {RemoteSource::kMode, -1, kByTotalizer, kByTotalizer, 300},
                                      {RemoteSource::kMode, -1, -1, kByDepthMark, 300},
                                      {RemoteSource::kMode, -1, 5, kByDepthMark, 300},
                                      {RemoteSource::kMode, -1, 7, kByDepthMark, 300},
                                      {RemoteSource::kMode, -1, kLetter, kByDepthMark, 300},
                                      {RemoteSource::kOther, 0, 0, kByDepthMark, 300},
                                      {RemoteSource::kOther, -5, 0, kByDepthMark, 300},
                                      {RemoteSource::kOther, 119, 0, kByDepthMark, 300},
                                      {RemoteSource::kOther, kLetter, 0, kByDepthMark, 300},
                                      {RemoteSource::kMode, 119, kByTime, kByTime, 300},
                                      {RemoteSource::kOther, 120, 0, kByDepthMark, 120},
                                      {RemoteSource::kMode, 600, kByTime, kByTime, 600}}};
    settings.remote_control = true;
    settings.porog_from_station = true;  // mode 4 stays 4
    std::vector<std::string> refused;
    system.remote_refused.connect([&](const std::string& line) { refused.push_back(line); });
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.operation << " " << c.period << " " << c.mode);
        system.set_work_mode(kByDepthMark);
        system.set_time_mode_period(300);
        refused.clear();
        say({c.operation, 0.0f, c.period, c.mode, "operation=x"});
        tick();
        EXPECT_EQ(system.work_mode(), c.mode_after);
        EXPECT_EQ(system.time_mode_period(), c.period_after);
        const bool refuse = (c.operation == RemoteSource::kMode && c.mode_after != c.mode) ||
                            (c.period != -1 && c.period_after != c.period);
        ASSERT_EQ(refused.size(), refuse ? 1u : 0u);
        if (refuse) {
            EXPECT_TRUE(refused[0].starts_with("Отклонено сообщение станции \"operation=x\": "))
                << refused[0];
        }
    }
    EXPECT_EQ(started, 0);

    say({RemoteSource::kMode, 0.0f, 60, 7, "operation=mode; value=7; time_period=60"});
    tick();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0],
              "Отклонено сообщение станции \"operation=mode; value=7; time_period=60\": интервал "
              "должен быть целым числом секунд не меньше длительности цикла (120 с), интервал не "
              "изменён; режим должен быть целым числом от 0 до 4, режим не изменён");
}

}  // namespace
}  // namespace vetra::control::rig
