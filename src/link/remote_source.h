#pragma once

#include <cstdint>
#include <limits>
#include <string>

namespace vetra::link {

// Where the controller's remote commands come from: the station's mailslot, or a test.
class RemoteSource {
public:
    static constexpr int kNone = 0;
    static constexpr int kStart = 1;
    static constexpr int kMode = 2;
    static constexpr int kOther = 3;
    // A value that was sent but is no integer (for the period: none that can be one).
    static constexpr std::int32_t kBadValue = std::numeric_limits<std::int32_t>::min();

    virtual ~RemoteSource() = default;
    // Takes at most one message; kNone when there was none.
    virtual int poll() = 0;
    // Values of the latest message.
    virtual float depth() const = 0;
    virtual std::int32_t time_period() const = 0;  // -1: the message had none; or kBadValue
    virtual std::int32_t mode_value() const = 0;   // as sent, or kBadValue
    // The latest message's lines as the journal names it when a value in it is refused.
    virtual std::string text() const = 0;
};

}  // namespace vetra::link
