#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vetra::link {

inline constexpr std::uint16_t kStationValuePort = 8001;
inline constexpr std::int32_t kMaxStationReply = 10000;

// The station's value port: 8001, or $VETRA_STATION_PORT when it names another (a station
// simulator, or a test run beside a real station).
std::uint16_t station_value_port();

// The value of `name` in a reply payload: records of a zero-terminated cp1251 name (at most
// 63 bytes) and an 8-byte double; received names are lower-cased before comparing, a later
// record overwrites an earlier one. 0 when the name is absent.
double find_station_value(std::string_view payload, std::string_view name);

// One address a station's name leads to.
struct StationEndpoint {
    std::string address;  // numeric, IPv4 or IPv6
    std::uint16_t port = 0;
};

// Looks a computer's name up; may block for as long as the name service takes, so the client
// runs it on a thread of its own.
using HostLookup =
    std::function<std::vector<StationEndpoint>(const std::string& host, std::uint16_t port)>;
std::vector<StationEndpoint> system_host_lookup(const std::string& host, std::uint16_t port);

// Fetches one named value from the registration station over TCP: a 5-byte request, a reply
// of one ignored byte, a 32-bit length and the payload. Looking the name up and connecting
// take at most 500 ms together (a slow name service answers a later fetch), and each of the
// three reads waits at most 500 ms in all, however the bytes trickle in. The connection is
// kept open between fetches unless a reply was unacceptable or cut short.
class TDataModule1 {
public:
    explicit TDataModule1(std::uint16_t port = station_value_port(),
                          HostLookup lookup = system_host_lookup);
    ~TDataModule1();
    TDataModule1(const TDataModule1&) = delete;
    TDataModule1& operator=(const TDataModule1&) = delete;

    double fetch_station_value(const std::string& host, std::string_view name);
    double last_value() const { return last_value_; }
    bool connected() const;

    static constexpr std::chrono::milliseconds kReadTimeout{500};
    static constexpr std::chrono::milliseconds kConnectTimeout{500};

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::uint16_t port_;
    double last_value_ = 0.0;
};

}  // namespace vetra::link
