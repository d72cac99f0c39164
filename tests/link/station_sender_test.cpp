#include "link/station_sender.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "library/lock_object.h"
#include "library/number_text.h"
#include "link/mailslot.h"
#include "support/temp_dir.h"

namespace vetra::link {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

// The keys in cp1251, spelled out byte by byte (а..я are 0xE0..0xFF). Kept as separate
// literals so that no hex escape runs into a following digit.
const std::string kMetanAbs = "\xEC\xE5\xF2\xE0\xED_\xE0\xE1\xF1";  // метан_абс
const std::string kSummGaz = "\xF1\xF3\xEC\xEC_\xE3\xE0\xE7";       // сумм_газ
const std::string kMetanOtn = "\xEC\xE5\xF2\xE0\xED_\xEE\xF2\xED";  // метан_отн
const std::string kStartTime =
    "\xE2\xF0\xE5\xEC\xFF_\xE7\xE0\xEF\xF3\xF1\xEA\xE0";  // время_запуска
const std::string kResultsTime =
    "\xE2\xF0\xE5\xEC\xFF_\xF0\xE0\xF1\xF7\xE5\xF2\xE0";  // время_расчета

// 1 January 2011: noon, and 18:00.
constexpr library::DayNumber kNoon = 40544.5;
constexpr library::DayNumber kEvening = 40544.75;

class StationSenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("VETRA_MAILSLOT_DIR")) {
            saved_dir_ = old;
        }
        ::setenv("VETRA_MAILSLOT_DIR", temp_.path().c_str(), 1);
        saved_separator_ = library::decimal_separator();
        library::set_decimal_separator(',');
    }
    void TearDown() override {
        library::set_decimal_separator(saved_separator_);
        if (saved_dir_) {
            ::setenv("VETRA_MAILSLOT_DIR", saved_dir_->c_str(), 1);
        } else {
            ::unsetenv("VETRA_MAILSLOT_DIR");
        }
    }

    test::TempDir temp_;
    std::optional<std::string> saved_dir_;
    char saved_separator_ = '.';
    library::LockObject data_lock_;
    StationSender sender_{data_lock_};
};

TEST_F(StationSenderTest, methane_only_results_are_one_cp1251_message_with_its_zero_byte) {
    MailslotServer station(kStationMailslot, 4096);
    ASSERT_TRUE(station.is_valid());
    sender_.send_results({{"метан_абс", 0.5}, {"сумм_газ", 0.5}, {"метан_отн", 100.0}}, kNoon,
                         kEvening);

    const std::string expected = kMetanAbs + "=0,5\r\n" + kSummGaz + "=0,5\r\n" + kMetanOtn +
                                 "=100\r\n" + kStartTime + "=40544,5\r\n" + kResultsTime +
                                 "=40544,75\r\n" + "\0"s;
    EXPECT_EQ(station.read_next(), expected);
    EXPECT_EQ(station.read_next(), std::nullopt);
}

TEST_F(StationSenderTest, an_empty_result_list_sends_only_the_two_time_lines) {
    MailslotServer station(kStationMailslot, 4096);
    sender_.send_results({}, 40544.0, kNoon);
    EXPECT_EQ(station.read_next(),
              kStartTime + "=40544\r\n" + kResultsTime + "=40544,5\r\n" + "\0"s);
}

TEST_F(StationSenderTest, totalizer_readings_are_a_single_line_without_a_line_end) {
    MailslotServer station(kStationMailslot, 4096);
    sender_.send_totalizer(0.0);
    sender_.send_totalizer(12.25);
    EXPECT_EQ(station.read_next(), kSummGaz + "2" + "=0" + "\0"s);
    EXPECT_EQ(station.read_next(), kSummGaz + "2" + "=12,25" + "\0"s);
    EXPECT_EQ(station.read_next(), std::nullopt);
}

TEST_F(StationSenderTest, the_closing_message_is_thirteen_lines_of_zeros) {
    MailslotServer station(kStationMailslot, 4096);
    sender_.send_closing();
    const std::string abs = "_\xE0\xE1\xF1=0\r\n";
    const std::string otn = "_\xEE\xF2\xED=0\r\n";
    const std::string gases[] = {
        "\xEC\xE5\xF2\xE0\xED",      // метан
        "\xFD\xF2\xE0\xED",          // этан
        "\xEF\xF0\xEE\xEF\xE0\xED",  // пропан
        "\xE1\xF3\xF2\xE0\xED",      // бутан
        "\xEF\xE5\xED\xF2\xE0\xED",  // пентан
        "\xE3\xE5\xEA\xF1\xE0\xED",  // гексан
    };
    std::string expected;
    for (const auto& gas : gases) {
        expected += gas + abs;
    }
    expected += kSummGaz + "=0\r\n";
    for (const auto& gas : gases) {
        expected += gas + otn;
    }
    expected += '\0';
    EXPECT_EQ(station.read_next(), expected);
}

TEST_F(StationSenderTest, a_point_separator_system_sends_points) {
    library::set_decimal_separator('.');
    MailslotServer station(kStationMailslot, 4096);
    sender_.send_results({{"метан_абс", 0.5}}, kNoon, kNoon);
    EXPECT_EQ(station.read_next(), kMetanAbs + "=0.5\r\n" + kStartTime + "=40544.5\r\n" +
                                       kResultsTime + "=40544.5\r\n" + "\0"s);
}

TEST_F(StationSenderTest, with_no_station_sending_returns_and_leaves_nothing_behind) {
    sender_.send_results({{"метан_абс", 0.5}}, kNoon, kNoon);
    sender_.send_totalizer(1.0);
    sender_.send_closing();
    EXPECT_TRUE(std::filesystem::is_empty(temp_.path()));
}

TEST_F(StationSenderTest, a_message_waits_for_the_data_lock) {
    MailslotServer station(kStationMailslot, 4096);
    data_lock_.lock();
    std::jthread other([this] { sender_.send_totalizer(3.0); });
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(station.read_next(), std::nullopt);
    data_lock_.unlock();
    other.join();
    EXPECT_EQ(station.read_next(), kSummGaz + "2" + "=3" + "\0"s);
}

TEST(ResultsMessageLines, numbers_take_the_general_form_with_at_most_15_significant_digits) {
    const char saved = library::decimal_separator();
    library::set_decimal_separator(',');
    const auto lines = results_message_lines(
        {{"a", 0.1 + 0.2}, {"b", 1.0 / 3.0}, {"c", -2.0}, {"d", 1234567.0}}, 40544.0, 40544.5);
    library::set_decimal_separator(saved);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "a=0,3");
    EXPECT_EQ(lines[1], "b=0,333333333333333");
    EXPECT_EQ(lines[2], "c=-2");
    EXPECT_EQ(lines[3], "d=1234567");
    EXPECT_EQ(lines[4], "время_запуска=40544");
    EXPECT_EQ(lines[5], "время_расчета=40544,5");
}

TEST(ResultsMessageLines, joining_ends_every_line_with_cr_lf) {
    EXPECT_EQ(join_message_lines({}), "");
    EXPECT_EQ(join_message_lines({"a=1", "", "b=2"}), "a=1\r\n\r\nb=2\r\n");
}

}  // namespace
}  // namespace vetra::link
