#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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

// Fetches one named value from the registration station over TCP: a 5-byte request, a reply
// of one ignored byte, a 32-bit length and the payload. Each of the three reads waits at most
// 500 ms in all, however the bytes trickle in, so a station that stalls costs the main thread
// at most the connect time-out and 1.5 s. The connection is kept open between fetches unless
// a reply was unacceptable or cut short.
class TDataModule1 {
public:
    explicit TDataModule1(std::uint16_t port = station_value_port());
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
