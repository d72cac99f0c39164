#include "link/serial_port.h"
#include "link/serial_port_list.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace vetra::link {
namespace {

using namespace std::chrono_literals;
using test::PtyPair;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string as_text(const std::vector<std::uint8_t>& bytes, std::size_t count) {
    return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

// --- port names ---------------------------------------------------------------------------

TEST(SerialPortNames, short_names_keep_their_form_and_long_ones_get_the_device_prefix) {
    EXPECT_EQ(windows_device_name("COM1"), "COM1");
    EXPECT_EQ(windows_device_name("COM9"), "COM9");
    EXPECT_EQ(windows_device_name("COM10"), "\\\\.\\COM10");
    EXPECT_EQ(windows_device_name("\\\\.\\COM12"), "\\\\.\\COM12");
}

TEST(SerialPortNames, com_names_map_to_ttyS_nodes_in_any_case_and_with_the_prefix) {
    EXPECT_EQ(posix_device_path("COM1"), "/dev/ttyS0");
    EXPECT_EQ(posix_device_path("com9"), "/dev/ttyS8");
    EXPECT_EQ(posix_device_path("\\\\.\\COM10"), "/dev/ttyS9");
    EXPECT_EQ(posix_device_path(windows_device_name("COM10")), "/dev/ttyS9");
}

TEST(SerialPortNames, paths_are_used_as_they_are_and_other_names_are_looked_up_in_dev) {
    EXPECT_EQ(posix_device_path("/dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(posix_device_path(windows_device_name("/dev/pts/3")), "/dev/pts/3");
    EXPECT_EQ(posix_device_path("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(posix_device_path("COM0"), "/dev/COM0");
    EXPECT_EQ(posix_device_path("COMx"), "/dev/COMx");
}

// --- mode strings -------------------------------------------------------------------------

// A small /sys and /dev: two ttyS nodes of which one has a UART, USB adapters whose
// numbers sort as numbers, a virtual console and a stable by-id name.
TEST(SerialPortNames, the_lists_offer_the_com_names_and_the_devices_that_exist) {
    test::TempDir root;
    const auto tty = [&](const std::string& name, const char* type) {
        std::filesystem::create_directories(root / "sys/class/tty" / name);
        if (type) {
            std::ofstream(root / "sys/class/tty" / name / "type") << type;
        }
    };
    tty("ttyS0", "4\n");
    tty("ttyS1", "0\n");
    tty("ttyS2", nullptr);
    tty("ttyUSB10", nullptr);
    tty("ttyUSB2", nullptr);
    tty("ttyACM0", nullptr);
    tty("tty1", nullptr);
    std::filesystem::create_directories(root / "dev/serial/by-id");
    std::ofstream(root / "dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    EXPECT_EQ(
        present_serial_devices(root.dir()),
        (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB2", "/dev/ttyUSB10",
                                  "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"}));
    EXPECT_TRUE(present_serial_devices((root / "nothing").string()).empty());
    // The lists offer what is there, and the classic names only when nothing is.
    EXPECT_EQ(serial_port_names(root.dir()), present_serial_devices(root.dir()));
    const auto names = serial_port_names((root / "nothing").string());
    ASSERT_EQ(names.size(), 8u);
    EXPECT_EQ(names[0], "COM1");
    EXPECT_EQ(names[7], "COM8");
}

TEST(SerialModeParsing, accepts_the_platform_forms) {
    EXPECT_EQ(parse_mode("19200,n,8,1"), (SerialMode{19200, Parity::none, 8, StopBits::one}));
    EXPECT_EQ(parse_mode("9600,E,8,1.5"),
              (SerialMode{9600, Parity::even, 8, StopBits::one_and_half}));
    EXPECT_EQ(parse_mode("38400,m,7,2"), (SerialMode{38400, Parity::mark, 7, StopBits::two}));
    EXPECT_EQ(parse_mode(" 4800 , s , 8 , 1 "),
              (SerialMode{4800, Parity::space, 8, StopBits::one}));
    EXPECT_EQ(parse_mode("9600,o,8,1")->parity, Parity::odd);
    EXPECT_EQ(parse_mode("9600,,8,1"), (SerialMode{9600, Parity::none, 8, StopBits::one}));
}

TEST(SerialModeParsing, rejects_malformed_strings) {
    for (const char* text : {"", "19200", "19200,n,8", "19200,n,8,1,x", "abc,n,8,1", "0,n,8,1",
                             "-9600,n,8,1", "19200,x,8,1", "19200,ne,8,1", "19200,n,9,1",
                             "19200,n,4,1", "19200,n,8,3", "19200,n,8,1.0", "19200;n;8;1"}) {
        EXPECT_FALSE(parse_mode(text).has_value()) << text;
    }
}

// --- opening ------------------------------------------------------------------------------

TEST(SerialPortOpen, a_missing_port_fails_without_leaking_a_descriptor) {
    const auto before = test::open_descriptor_count();
    SerialPort port;
    EXPECT_FALSE(port.open("/dev/vetra-no-such-port"));
    EXPECT_FALSE(port.open("COM200"));
    EXPECT_FALSE(port.is_open());
    EXPECT_EQ(test::open_descriptor_count(), before);
}

TEST(SerialPortOpen, a_node_that_is_not_a_terminal_is_refused_and_closed_again) {
    test::TempDir dir;
    test::write_bytes(dir / "plain", "x");
    const auto before = test::open_descriptor_count();
    SerialPort port;
    EXPECT_FALSE(port.open((dir / "plain").string()));
    EXPECT_FALSE(port.open("/dev/null"));
    EXPECT_FALSE(port.is_open());
    EXPECT_EQ(test::open_descriptor_count(), before);
}

TEST(SerialPortOpen, a_port_is_not_shared_until_its_holder_closes_it) {
    PtyPair pty;
    SerialPort first;
    SerialPort second;
    ASSERT_TRUE(first.open(pty.slave_path()));
    EXPECT_FALSE(second.open(pty.slave_path()));
    first.close();
    EXPECT_FALSE(first.is_open());
    EXPECT_TRUE(second.open(pty.slave_path()));
}

TEST(SerialPortOpen, closing_releases_the_descriptor) {
    PtyPair pty;
    const auto before = test::open_descriptor_count();
    {
        SerialPort port;
        ASSERT_TRUE(port.open(pty.slave_path()));
        EXPECT_EQ(test::open_descriptor_count(), before + 1);
        SerialPort moved = std::move(port);
        EXPECT_FALSE(port.is_open());
        EXPECT_TRUE(moved.is_open());
    }
    EXPECT_EQ(test::open_descriptor_count(), before);
}

TEST(SerialPortOpen, a_closed_port_refuses_every_operation) {
    SerialPort port;
    std::uint8_t byte = 0;
    EXPECT_FALSE(port.read(&byte, 1).ok);
    EXPECT_FALSE(port.write(std::vector<std::uint8_t>{1}));
    EXPECT_FALSE(port.apply_mode("9600,n,8,1"));
    EXPECT_FALSE(port.set_timeouts(1, 0, 1));
}

// --- line settings ------------------------------------------------------------------------

struct ModeCase {
    const char* name;
    const char* mode;
    speed_t speed;
    bool parity_checked;  // the pty driver drops PARENB, so INPCK is what shows parity is on
    bool odd;
    bool stick;
    bool two_stop_bits;
};

class SerialPortModes : public ::testing::TestWithParam<ModeCase> {};

TEST_P(SerialPortModes, the_line_is_set_as_the_mode_string_asks) {
    const ModeCase& c = GetParam();
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.open(pty.slave_path()));
    ASSERT_TRUE(port.apply_mode(c.mode));
    termios tio = pty.slave_termios();
    EXPECT_EQ(::cfgetispeed(&tio), c.speed);
    EXPECT_EQ(::cfgetospeed(&tio), c.speed);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ((tio.c_iflag & INPCK) != 0, c.parity_checked);
    EXPECT_EQ((tio.c_cflag & PARODD) != 0, c.odd);
    EXPECT_EQ((tio.c_cflag & CMSPAR) != 0, c.stick);
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.two_stop_bits);
    EXPECT_NE(tio.c_cflag & CREAD, 0u);
    EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    ParityAndStopBits, SerialPortModes,
    ::testing::Values(ModeCase{"none", "19200,n,8,1", B19200, false, false, false, false},
                      ModeCase{"odd", "9600,o,8,1", B9600, true, true, false, false},
                      ModeCase{"even", "38400,e,8,1", B38400, true, false, false, false},
                      ModeCase{"mark", "38400,m,8,1", B38400, true, true, true, false},
                      ModeCase{"space", "115200,s,8,1", B115200, true, false, true, false},
                      ModeCase{"one_and_a_half_stop_bits", "9600,e,8,1.5", B9600, true, false,
                               false, true},
                      ModeCase{"two_stop_bits", "9600,n,8,2", B9600, false, false, false, true},
                      ModeCase{"no_parity_letter", "4800,,8,1", B4800, false, false, false, false}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

TEST(SerialPortSettings, a_malformed_mode_changes_nothing) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.open(pty.slave_path()));
    ASSERT_TRUE(port.apply_mode("9600,m,8,2"));
    const termios before = pty.slave_termios();
    EXPECT_FALSE(port.apply_mode("19200,q,8,1"));
    EXPECT_FALSE(port.apply_mode("0,n,8,1"));
    const termios after = pty.slave_termios();
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
}

// Instruments use rates that have no termios constant; the line must still be raw.
class SerialPortRates : public ::testing::TestWithParam<int> {};

TEST_P(SerialPortRates, any_rate_is_set_exactly_on_a_raw_line) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.open(pty.slave_path()));
    ASSERT_TRUE(port.apply_mode(std::to_string(GetParam()) + ",e,8,1"));
    EXPECT_EQ(port.line_speed(), GetParam());
    const termios tio = pty.slave_termios();
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_NE(tio.c_iflag & INPCK, 0u);
}

INSTANTIATE_TEST_SUITE_P(Rates, SerialPortRates,
                         ::testing::Values(14400, 56000, 128000, 256000, 12345, 19200, 115200));

TEST(SerialPortSettings, hardware_flow_is_switched_on_and_off_again_by_a_new_mode) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.open(pty.slave_path()));
    ASSERT_TRUE(port.apply_mode("9600,n,8,1"));
    EXPECT_TRUE(port.set_hardware_flow(true));
    EXPECT_NE(pty.slave_termios().c_cflag & CRTSCTS, 0u);
    ASSERT_TRUE(port.apply_mode("9600,n,8,1"));
    EXPECT_EQ(pty.slave_termios().c_cflag & CRTSCTS, 0u);
}

TEST(SerialPortSettings, negative_timeouts_are_refused_and_the_old_ones_kept) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.open(pty.slave_path()));
    ASSERT_TRUE(port.set_timeouts(100, 2, 300));
    EXPECT_FALSE(port.set_timeouts(-1, 0, 0));
    EXPECT_EQ(port.timeouts().interval_ms, 100);
    EXPECT_EQ(port.timeouts().total_multiplier_ms, 2);
    EXPECT_EQ(port.timeouts().total_constant_ms, 300);
}

// --- reading and writing ------------------------------------------------------------------

class SerialPortIo : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(port.open(pty.slave_path()));
        ASSERT_TRUE(port.apply_mode("38400,e,8,1"));
    }

    PtyPair pty;
    SerialPort port;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(64);
};

TEST_F(SerialPortIo, silence_ends_a_read_after_the_total_timeout_with_nothing) {
    ASSERT_TRUE(port.set_timeouts(1000, 0, 1000));
    const auto start = Clock::now();
    ReadResult got = port.read(buffer.data(), 4);
    const double elapsed = seconds_since(start);
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.count, 0u);
    EXPECT_GT(elapsed, 0.8);
    EXPECT_LT(elapsed, 2.5);
}

TEST_F(SerialPortIo, a_read_returns_as_soon_as_all_bytes_are_in) {
    ASSERT_TRUE(port.set_timeouts(5000, 0, 5000));
    pty.write("abcd");
    const auto start = Clock::now();
    ReadResult got = port.read(buffer.data(), 4);
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(as_text(buffer, got.count), "abcd");
    EXPECT_LT(seconds_since(start), 2.5);
}

TEST_F(SerialPortIo, a_read_takes_bytes_only_up_to_its_size_and_leaves_the_rest_queued) {
    ASSERT_TRUE(port.set_timeouts(200, 0, 200));
    pty.write("abcdef");
    ReadResult first = port.read(buffer.data(), 4);
    EXPECT_EQ(as_text(buffer, first.count), "abcd");
    ReadResult second = port.read(buffer.data(), 4);
    EXPECT_TRUE(second.ok);
    EXPECT_EQ(as_text(buffer, second.count), "ef");
}

TEST_F(SerialPortIo, a_gap_longer_than_the_interval_ends_the_read_early) {
    // The total limit alone would wait five seconds.
    ASSERT_TRUE(port.set_timeouts(200, 0, 5000));
    pty.write("ab");
    const auto start = Clock::now();
    ReadResult got = port.read(buffer.data(), 8);
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(as_text(buffer, got.count), "ab");
    EXPECT_LT(seconds_since(start), 2.5);
}

TEST_F(SerialPortIo, the_multiplier_counts_per_requested_byte) {
    ASSERT_TRUE(port.set_timeouts(0, 100, 0));
    const auto start = Clock::now();
    ReadResult got = port.read(buffer.data(), 10);
    const double elapsed = seconds_since(start);
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.count, 0u);
    EXPECT_GT(elapsed, 0.8);
    EXPECT_LT(elapsed, 2.5);
}

TEST_F(SerialPortIo, zero_timeouts_return_at_once_with_what_is_buffered) {
    ASSERT_TRUE(port.set_timeouts(0, 0, 0));
    ReadResult empty = port.read(buffer.data(), 4);
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.count, 0u);
    pty.write("xy");
    // Give the pty a moment to pass the bytes across.
    ASSERT_TRUE(port.set_timeouts(0, 0, 1000));
    ASSERT_EQ(port.read(buffer.data(), 1).count, 1u);
    ASSERT_TRUE(port.set_timeouts(0, 0, 0));
    ReadResult rest = port.read(buffer.data(), 4);
    EXPECT_TRUE(rest.ok);
    EXPECT_EQ(as_text(buffer, rest.count), "y");
}

TEST_F(SerialPortIo, a_hung_up_line_makes_the_read_fail_instead_of_waiting) {
    ASSERT_TRUE(port.set_timeouts(1000, 0, 5000));
    pty.close_master();
    const auto start = Clock::now();
    ReadResult got = port.read(buffer.data(), 4);
    EXPECT_FALSE(got.ok);
    EXPECT_LT(seconds_since(start), 2.5);
}

TEST_F(SerialPortIo, written_bytes_reach_the_other_side) {
    const std::vector<std::uint8_t> bytes{0x00, 0x11, 0xff, 0x0d, 0x0a};
    EXPECT_TRUE(port.write(bytes));
    EXPECT_TRUE(port.flush());
    EXPECT_EQ(pty.read(5, 2000ms), std::string("\x00\x11\xff\x0d\x0a", 5));
}

}  // namespace
}  // namespace vetra::link
