#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

#include "library/operator.h"
#include "link/serial_port.h"

namespace vetra::link {

inline constexpr std::uint16_t kDefaultTcpPort = 22002;

struct TcpAddress {
    std::string host;
    std::uint16_t port = kDefaultTcpPort;

    friend bool operator==(const TcpAddress&, const TcpAddress&) = default;
};

// A name with a colon is a TCP link (a serial-to-network converter).
[[nodiscard]] bool is_tcp_name(std::string_view name);
// Host before the first colon; port the decimal number after it, or the default port when
// that is missing, not all digits, or too big for a port.
TcpAddress parse_tcp_name(std::string_view name);

// A link to an instrument that is a serial port or a TCP connection, by the form of its
// name. Used by one thread at a time; it does not lock. Reads never throw: a serial error
// reopens the port, a TCP error drops the connection so that the next read reconnects.
class DeviceLink {
public:
    explicit DeviceLink(library::Operator& op);
    virtual ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // False when already open (nothing changes) or when a serial port cannot be opened. A
    // TCP name always opens: the connection is tried now and again before each read.
    [[nodiscard]] bool open(std::string_view name);
    // Serial only; a TCP link or a closed one returns true untouched. False for a speed or
    // key the mode string cannot express; otherwise whether the time-outs were taken.
    bool configure(int speed, int parity_key, int timeout_ms, int input_queue, bool hardware_flow);
    bool close();
    [[nodiscard]] bool is_open() const;
    // Serial: true with whatever arrived within the time-out (fewer bytes set short_read).
    // TCP: true only with all n bytes. `count` is what was received either way.
    [[nodiscard]] bool read(std::uint8_t* buffer, std::size_t n, std::size_t& count);
    // Reads one byte per character of `text`; fails on the first byte that differs, which
    // is consumed. The caller resynchronises by trying again.
    [[nodiscard]] bool expect_marker(std::string_view text);
    // Closes and opens the remembered name again with the remembered speed and parity key,
    // the 500 ms read time-out and no flow control.
    void reopen();

    // A stop request cuts short every wait of the link (reconnect pauses, connects, TCP
    // reads), so a reader thread told to stop ends within a few tens of milliseconds.
    void set_stop_token(std::stop_token token) { stop_ = std::move(token); }

    // Sticky: set by any read that came back with fewer bytes than asked.
    [[nodiscard]] bool short_read() const { return short_read_; }
    [[nodiscard]] bool is_tcp() const { return tcp_ != nullptr; }
    [[nodiscard]] bool is_connected() const;
    [[nodiscard]] const std::string& name() const { return name_; }

    // "speed,letter,8,1" with e/m/n/o/s for keys 2/3/0/1/4; any other key leaves the letter
    // out ("9600,,8,1"), which means no parity.
    static std::string mode_string(int speed, int parity_key);

private:
    struct Tcp;

    bool read_serial(std::uint8_t* buffer, std::size_t n, std::size_t& count);
    bool read_tcp(std::uint8_t* buffer, std::size_t n, std::size_t& count);

    library::Operator& operator_;
    SerialPort serial_;
    int speed_ = 0;
    int parity_key_ = 0;
    std::string name_;
    std::unique_ptr<Tcp> tcp_;
    int read_timeout_ms_ = 500;
    std::stop_token stop_;
    bool short_read_ = false;
};

}  // namespace vetra::link
