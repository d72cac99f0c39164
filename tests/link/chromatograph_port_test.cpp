#include "link/chromatograph_port.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <string>

#include "support/pty_pair.h"
#include "support/recording_operator.h"

namespace vetra::link {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(ChromatographPortMode, indices_choose_the_parity_letter_and_stop_bits) {
    EXPECT_EQ(ChromatographPort::mode_string(19200, 0, 0), "19200,n,8,1");
    EXPECT_EQ(ChromatographPort::mode_string(38400, 1, 1), "38400,o,8,1.5");
    EXPECT_EQ(ChromatographPort::mode_string(9600, 2, 2), "9600,e,8,2");
    EXPECT_EQ(ChromatographPort::mode_string(9600, 3, 0), "9600,m,8,1");
    EXPECT_EQ(ChromatographPort::mode_string(9600, 4, 0), "9600,s,8,1");
}

TEST(ChromatographPortMode, unknown_indices_mean_no_parity_and_one_stop_bit) {
    EXPECT_EQ(ChromatographPort::mode_string(9600, 5, 3), "9600,,8,1");
    EXPECT_EQ(ChromatographPort::mode_string(9600, -1, -1), "9600,,8,1");
    EXPECT_EQ(parse_mode(ChromatographPort::mode_string(9600, 7, 9)),
              (SerialMode{9600, Parity::none, 8, StopBits::one}));
}

TEST(ChromatographPortSetup, open_applies_speed_parity_and_stop_bits) {
    test::RecordingOperator op;
    test::PtyPair pty;
    ChromatographPort port(op);
    port.set_port_params(pty.slave_path(), 9600, 1, 2);
    ASSERT_TRUE(port.open_port());
    termios tio = pty.slave_termios();
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_NE(tio.c_iflag & INPCK, 0u);
    EXPECT_NE(tio.c_cflag & PARODD, 0u);
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    port.close_port();
    EXPECT_FALSE(port.is_open());
}

// A rate without a termios constant is set; one that cannot be set fails the open, since a
// line left unconfigured would alter every byte of the program frame.
TEST(ChromatographPortSetup, any_rate_the_line_takes_is_set_and_another_fails_the_open) {
    test::RecordingOperator op;
    test::PtyPair pty;
    ChromatographPort port(op);
    port.set_port_params(pty.slave_path(), 56000, 0, 0);
    ASSERT_TRUE(port.open_port());
    EXPECT_EQ(pty.slave_termios().c_lflag & (ICANON | ECHO), 0u);
    port.close_port();
    const auto before = test::open_descriptor_count();
    for (const int speed : {0, -9600}) {
        port.set_port_params(pty.slave_path(), speed, 0, 0);
        EXPECT_FALSE(port.open_port()) << speed;
        EXPECT_FALSE(port.is_open()) << speed;
    }
    EXPECT_EQ(test::open_descriptor_count(), before);
}

TEST(ChromatographPortSetup, a_missing_port_fails_to_open) {
    test::RecordingOperator op;
    ChromatographPort port(op);
    port.set_port_params("/dev/vetra-no-such-port", 19200, 0, 0);
    const auto before = test::open_descriptor_count();
    EXPECT_FALSE(port.open_port());
    EXPECT_FALSE(port.is_open());
    EXPECT_EQ(test::open_descriptor_count(), before);
}

class ChromatographPortLine : public ::testing::Test {
protected:
    void SetUp() override {
        port.set_port_params(pty.slave_path(), 38400, 2, 0);
        ASSERT_TRUE(port.open_port());
    }

    // The next byte the port would read, or nothing after a second.
    std::string next_bytes(std::size_t n) {
        std::string bytes(n, '\0');
        std::size_t count = 0;
        EXPECT_TRUE(port.raw_read(reinterpret_cast<std::uint8_t*>(bytes.data()), n, count));
        bytes.resize(count);
        return bytes;
    }

    test::RecordingOperator op;
    test::PtyPair pty;
    ChromatographPort port{op};
};

TEST_F(ChromatographPortLine, a_frame_goes_out_whole) {
    port.write_frame({1, 2, 3, 4, 5, 6, 7, 8, 0xff});
    EXPECT_EQ(pty.read(9, 2000ms), std::string("\x01\x02\x03\x04\x05\x06\x07\x08\xff", 9));
}

TEST_F(ChromatographPortLine, wait_for_text_skips_one_stray_byte) {
    pty.write("xOK");
    EXPECT_TRUE(port.wait_for_text("OK"));
    EXPECT_TRUE(op.beeps.empty());
}

TEST_F(ChromatographPortLine, wait_for_text_tolerates_nine_stray_bytes) {
    pty.write("123456789OK!");
    EXPECT_TRUE(port.wait_for_text("OK"));
    EXPECT_EQ(next_bytes(1), "!");
}

TEST_F(ChromatographPortLine, wait_for_text_gives_up_after_ten_mismatches) {
    pty.write("0123456789OK");
    EXPECT_FALSE(port.wait_for_text("OK"));
    // Nothing past the tenth byte was consumed.
    EXPECT_EQ(next_bytes(2), "OK");
}

TEST_F(ChromatographPortLine, a_match_resets_the_mismatch_count) {
    pty.write("123456789O23456789OK");
    EXPECT_TRUE(port.wait_for_text("OK"));
}

TEST_F(ChromatographPortLine, the_byte_that_breaks_a_partial_match_is_not_retried) {
    // The second O ends the partial match and is dropped, so the K that follows does not
    // complete "OK"; the later "OK" does.
    pty.write("OOKOK!");
    EXPECT_TRUE(port.wait_for_text("OK"));
    EXPECT_EQ(next_bytes(1), "!");
}

TEST_F(ChromatographPortLine, a_broken_partial_match_alone_is_not_enough) {
    pty.write("OOK");
    const auto start = Clock::now();
    EXPECT_FALSE(port.wait_for_text("OK"));
    EXPECT_GT(seconds_since(start), 0.8);
}

TEST_F(ChromatographPortLine, wait_for_text_gives_up_after_a_second_of_silence) {
    pty.write("O");
    const auto start = Clock::now();
    EXPECT_FALSE(port.wait_for_text("OK"));
    const double elapsed = seconds_since(start);
    EXPECT_GT(elapsed, 0.8);
    EXPECT_LT(elapsed, 2.5);
    EXPECT_TRUE(op.beeps.empty());
}

TEST_F(ChromatographPortLine, a_read_error_beeps_shortly_and_fails) {
    pty.close_master();
    EXPECT_FALSE(port.wait_for_text("OK"));
    ASSERT_EQ(op.beeps.size(), 1u);
    EXPECT_EQ(op.beeps[0].frequency_hz, 1000);
    EXPECT_EQ(op.beeps[0].duration_ms, 20);
}

TEST_F(ChromatographPortLine, raw_read_returns_what_came_within_a_second) {
    pty.write("abcdef");
    EXPECT_EQ(next_bytes(4), "abcd");
    const auto start = Clock::now();
    EXPECT_EQ(next_bytes(4), "ef");
    EXPECT_LT(seconds_since(start), 2.5);
}

}  // namespace
}  // namespace vetra::link
