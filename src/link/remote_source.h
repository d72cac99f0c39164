#pragma once

#include <cstdint>

namespace vetra::link {

// Where the controller's remote commands come from: the station's mailslot, or a test.
class RemoteSource {
public:
    static constexpr int kNone = 0;
    static constexpr int kStart = 1;
    static constexpr int kMode = 2;
    static constexpr int kOther = 3;

    virtual ~RemoteSource() = default;
    // Takes at most one message; kNone when there was none.
    virtual int poll() = 0;
    // Values of the latest message.
    virtual float depth() const = 0;
    virtual std::int32_t time_period() const = 0;  // -1: the message had none
    virtual std::int32_t mode_value() const = 0;
};

}  // namespace vetra::link
