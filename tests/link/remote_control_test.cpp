#include "link/remote_control.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <optional>
#include <string>

#include "library/cp1251.h"
#include "library/number_text.h"
#include "link/mailslot.h"
#include "support/temp_dir.h"

namespace vetra::link {
namespace {

using namespace std::string_literals;

// --- decoding -----------------------------------------------------------------------------

// A value that is there but unusable, which the controller refuses.
constexpr std::int32_t kBad = RemoteSource::kBadValue;

struct MessageCase {
    const char* title;
    std::string bytes;
    int operation;
    float depth;
    std::int32_t time_period;
    std::int32_t mode_value;  // checked with "mode" only
};

void PrintTo(const MessageCase& c, std::ostream* os) {
    *os << c.title;
}

class RemoteMessageDecoding : public ::testing::TestWithParam<MessageCase> {};

TEST_P(RemoteMessageDecoding, gives_the_operation_and_the_values) {
    const MessageCase& c = GetParam();
    const RemoteMessage m = parse_remote_message(c.bytes);
    EXPECT_EQ(m.operation, c.operation);
    EXPECT_FLOAT_EQ(m.depth, c.depth);
    EXPECT_EQ(m.time_period, c.time_period);
    if (c.operation == RemoteSource::kMode) {
        EXPECT_EQ(m.mode_value, c.mode_value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoteMessageDecoding,
    ::testing::Values(
        MessageCase{"start_with_comma_depth", "operation=START\r\ndepth=1234,5", 1, 1234.5f, -1, 0},
        MessageCase{"start_with_point_depth", "operation=start\r\ndepth=1234.5\r\n", 1, 1234.5f, -1,
                    0},
        MessageCase{"mode_without_value", "operation=mode", 2, 0.0f, -1, 2},
        MessageCase{"mode_with_value", "operation=Mode\r\nvalue=4\r\ntime_period=15", 2, 0.0f, 15,
                    4},
        MessageCase{"mode_with_bad_value", "operation=mode\r\nvalue=4,5", 2, 0.0f, -1, kBad},
        MessageCase{"mode_with_empty_value", "operation=mode\r\nvalue=", 2, 0.0f, -1, kBad},
        MessageCase{"mode_with_a_letter", "operation=mode\r\nvalue=x", 2, 0.0f, -1, kBad},
        MessageCase{"mode_out_of_range_as_sent", "operation=mode\r\nvalue=7", 2, 0.0f, -1, 7},
        MessageCase{"only_depth_zero", "depth=0", 3, 0.0f, -1, 0},
        MessageCase{"time_period_not_a_number", "time_period=abc", 3, 0.0f, kBad, 0},
        MessageCase{"time_period_negative", "time_period=-5", 3, 0.0f, kBad, 0},
        MessageCase{"time_period_minus_one_sent", "time_period=-1", 3, 0.0f, kBad, 0},
        MessageCase{"time_period_zero", "time_period=0", 3, 0.0f, 0, 0},
        MessageCase{"time_period_number", "time_period=60", 3, 0.0f, 60, 0},
        MessageCase{"time_period_beyond_32_bits", "time_period=2147483648", 3, 0.0f, kBad, 0},
        MessageCase{"time_period_fraction", "time_period=1.5", 3, 0.0f, kBad, 0},
        MessageCase{"depth_not_a_number", "depth=12m\r\ntime_period=7", 3, 0.0f, 7, 0},
        MessageCase{"depth_with_two_separators", "depth=1,234.5", 3, 0.0f, -1, 0},
        MessageCase{"negative_depth", "depth=-3,25", 3, -3.25f, -1, 0},
        MessageCase{"unknown_operation", "operation=stop\r\ndepth=5", 3, 5.0f, -1, 0},
        MessageCase{"cyrillic_operation", "operation=\xd1\xd2\xc0\xd0\xd2", 3, 0.0f, -1, 0},
        MessageCase{"names_in_any_case", "OPERATION=start\r\nDePtH=2,5\r\nTIME_PERIOD=30", 1, 2.5f,
                    30, 0},
        MessageCase{"cr_separators", "operation=mode\rvalue=1\rdepth=7,5\rtime_period=9", 2, 7.5f,
                    9, 1},
        MessageCase{"lf_separators", "operation=mode\nvalue=3\ndepth=8\ntime_period=10\n", 2, 8.0f,
                    10, 3},
        MessageCase{"mixed_separators_and_blank_lines",
                    "\r\n\r\noperation=start\n\rdepth=1\r\rtime_period=2", 1, 1.0f, 2, 0},
        MessageCase{"first_line_of_a_name_wins",
                    "depth=1\r\ndepth=2\r\noperation=start\r\n"
                    "operation=mode",
                    1, 1.0f, -1, 0},
        MessageCase{"value_after_the_first_equals", "time_period=6=0\r\ndepth=3", 3, 3.0f, kBad, 0},
        MessageCase{"lines_without_equals_are_ignored", "hello\r\noperation\r\ndepth=4", 3, 4.0f,
                    -1, 0},
        MessageCase{"text_ends_at_the_first_zero_byte",
                    "operation=mode\r\nvalue=1\0\r\nvalue=4\r\ntime_period=5"s, 2, 0.0f, -1, 1},
        MessageCase{"zero_byte_cuts_a_value",
                    "depth=12\0"
                    "34"s,
                    3, 12.0f, -1, 0},
        MessageCase{"only_a_zero_byte", "\0"s, 3, 0.0f, -1, 0},
        MessageCase{"empty", "", 3, 0.0f, -1, 0},
        MessageCase{"only_garbage", "\xff\x98\x81\xfe\x01\x02\x7f\x80", 3, 0.0f, -1, 0},
        MessageCase{"garbage_around_valid_lines",
                    "\x98\x98=\xff\r\noperation=start\r\n\xc0\xff=\x98\r\ndepth=9", 1, 9.0f, -1,
                    0}),
    [](const auto& info) { return std::string(info.param.title); });

TEST(RemoteMessageDepth, numbers_out_of_float_range_or_not_finite_never_become_infinite) {
    for (const char* text :
         {"depth=1e40", "depth=-1e40", "depth=inf", "depth=nan", "depth=1e400"}) {
        const RemoteMessage m = parse_remote_message(text);
        EXPECT_TRUE(std::isfinite(m.depth)) << text;
        EXPECT_EQ(m.operation, RemoteSource::kOther) << text;
    }
}

TEST(RemoteMessageDepth, both_separators_are_read_whatever_the_system_uses) {
    const char saved = library::decimal_separator();
    for (const char separator : {',', '.'}) {
        library::set_decimal_separator(separator);
        EXPECT_FLOAT_EQ(parse_remote_message("depth=1234,5").depth, 1234.5f);
        EXPECT_FLOAT_EQ(parse_remote_message("depth=1234.5").depth, 1234.5f);
    }
    library::set_decimal_separator(saved);
}

// The journal names a refused message by its lines; a long one is cut at a character.
TEST(RemoteMessageText, joins_the_lines_and_cuts_a_long_message) {
    EXPECT_EQ(parse_remote_message("operation=mode\r\n\r\n value=7 \nrest\0hidden"s).text,
              "operation=mode; value=7; rest");
    const std::string cyrillic(200, '\xc0');  // cp1251 "А", two bytes in UTF-8
    const std::string text = parse_remote_message("depth=" + cyrillic).text;
    EXPECT_EQ(text, "depth=" + library::cp1251_to_utf8(std::string(77, '\xc0')) + "…");
}

// --- polling the mailslot -----------------------------------------------------------------

class RemoteControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("VETRA_MAILSLOT_DIR")) {
            saved_ = old;
        }
        ::setenv("VETRA_MAILSLOT_DIR", temp_.path().c_str(), 1);
    }
    void TearDown() override {
        if (saved_) {
            ::setenv("VETRA_MAILSLOT_DIR", saved_->c_str(), 1);
        } else {
            ::unsetenv("VETRA_MAILSLOT_DIR");
        }
    }
    // The station writes its text with the terminating zero byte.
    static bool send(const std::string& text) {
        return mailslot_write(kRemoteControlMailslot, text + '\0');
    }

    test::TempDir temp_;
    std::optional<std::string> saved_;
};

TEST_F(RemoteControlTest, starts_with_no_values_and_finds_nothing_when_nobody_wrote) {
    RemoteControl remote;
    ASSERT_TRUE(remote.is_valid());
    EXPECT_EQ(remote.poll(), RemoteSource::kNone);
    EXPECT_EQ(remote.depth(), 0.0f);
    EXPECT_EQ(remote.time_period(), -1);
    EXPECT_EQ(remote.mode_value(), 0);
}

TEST_F(RemoteControlTest, a_start_message_gives_start_and_the_depth) {
    RemoteControl remote;
    ASSERT_TRUE(send("operation=START\r\ndepth=1234,5"));
    EXPECT_EQ(remote.poll(), RemoteSource::kStart);
    EXPECT_FLOAT_EQ(remote.depth(), 1234.5f);
    EXPECT_EQ(remote.time_period(), -1);
}

TEST_F(RemoteControlTest, no_message_leaves_the_values_of_the_last_one) {
    RemoteControl remote;
    ASSERT_TRUE(send("operation=mode\r\nvalue=3\r\ndepth=12,5\r\ntime_period=60"));
    ASSERT_EQ(remote.poll(), RemoteSource::kMode);
    EXPECT_EQ(remote.poll(), RemoteSource::kNone);
    EXPECT_FLOAT_EQ(remote.depth(), 12.5f);
    EXPECT_EQ(remote.time_period(), 60);
    EXPECT_EQ(remote.mode_value(), 3);
}

TEST_F(RemoteControlTest, every_message_sets_depth_and_period_but_only_mode_sets_the_mode_value) {
    RemoteControl remote;
    ASSERT_TRUE(send("operation=mode"));
    ASSERT_TRUE(send("operation=mode\r\nvalue=4\r\ntime_period=30\r\ndepth=5"));
    ASSERT_TRUE(send("depth=0"));
    ASSERT_TRUE(send("operation=start\r\ntime_period=abc"));

    EXPECT_EQ(remote.poll(), RemoteSource::kMode);
    EXPECT_EQ(remote.mode_value(), 2);
    EXPECT_EQ(remote.poll(), RemoteSource::kMode);
    EXPECT_EQ(remote.mode_value(), 4);
    EXPECT_EQ(remote.time_period(), 30);
    EXPECT_FLOAT_EQ(remote.depth(), 5.0f);

    EXPECT_EQ(remote.poll(), RemoteSource::kOther);
    EXPECT_EQ(remote.depth(), 0.0f);
    EXPECT_EQ(remote.time_period(), -1);
    EXPECT_EQ(remote.mode_value(), 4);

    EXPECT_EQ(remote.poll(), RemoteSource::kStart);
    EXPECT_EQ(remote.time_period(), RemoteSource::kBadValue);  // refused by the controller
    EXPECT_EQ(remote.mode_value(), 4);
    EXPECT_EQ(remote.text(), "operation=start; time_period=abc");
    EXPECT_EQ(remote.poll(), RemoteSource::kNone);
}

TEST_F(RemoteControlTest, each_poll_takes_one_message_in_the_order_written) {
    RemoteControl remote;
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(send("time_period=" + std::to_string(i)));
    }
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(remote.poll(), RemoteSource::kOther);
        EXPECT_EQ(remote.time_period(), i);
    }
    EXPECT_EQ(remote.poll(), RemoteSource::kNone);
}

TEST_F(RemoteControlTest, garbage_and_an_empty_datagram_do_not_stop_the_next_message) {
    RemoteControl remote;
    ASSERT_TRUE(mailslot_write(kRemoteControlMailslot, "\xff\x98\x00\x81\xc0"s));
    ASSERT_TRUE(mailslot_write(kRemoteControlMailslot, ""));
    ASSERT_TRUE(mailslot_write(kRemoteControlMailslot, std::string(1025, '=')));
    ASSERT_TRUE(send("operation=start\r\ndepth=2"));

    EXPECT_EQ(remote.poll(), RemoteSource::kOther);
    EXPECT_EQ(remote.poll(), RemoteSource::kNone);   // nothing was read from the empty one
    EXPECT_EQ(remote.poll(), RemoteSource::kStart);  // the oversized one is gone
    EXPECT_FLOAT_EQ(remote.depth(), 2.0f);
    EXPECT_EQ(remote.poll(), RemoteSource::kNone);
}

TEST_F(RemoteControlTest, a_second_instance_cannot_own_the_mailslot_and_never_finds_a_message) {
    RemoteControl first;
    RemoteControl second;
    ASSERT_TRUE(first.is_valid());
    EXPECT_FALSE(second.is_valid());
    ASSERT_TRUE(send("operation=start"));
    EXPECT_EQ(second.poll(), RemoteSource::kNone);
    EXPECT_EQ(first.poll(), RemoteSource::kStart);
}

TEST_F(RemoteControlTest, a_name_that_is_not_a_mailslot_gives_an_instance_that_finds_nothing) {
    RemoteControl remote("\\\\*\\mailslot\\chromatograph");
    EXPECT_FALSE(remote.is_valid());
    EXPECT_EQ(remote.poll(), RemoteSource::kNone);
}

}  // namespace
}  // namespace vetra::link
