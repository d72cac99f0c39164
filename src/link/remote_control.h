#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "link/mailslot.h"
#include "link/remote_source.h"

namespace vetra::link {

inline constexpr const char* kRemoteControlMailslot = "\\\\.\\mailslot\\chromatograph";
inline constexpr std::size_t kRemoteMessageSize = 1024;

// One remote-control message, decoded.
struct RemoteMessage {
    int operation = RemoteSource::kOther;
    float depth = 0.0f;
    std::int32_t time_period = -1;
    std::int32_t mode_value = 2;  // meaningful with "mode" only
    std::string text = {};        // its non-empty lines joined by "; ", cut at kTextLimit bytes

    static constexpr std::size_t kTextLimit = 160;
};

// Lines "name=value" (CR LF, CR or LF), names without regard to case, the text ending at the
// first zero byte. A missing value takes its default; a period or mode that is there but no
// integer, or a negative period, becomes RemoteSource::kBadValue, so that the controller
// refuses it instead of taking a default the station never meant.
RemoteMessage parse_remote_message(std::string_view bytes);

// The program's own mailslot, through which the station sets the depth, starts a depth-mark
// series and switches work modes. A poll never waits.
class RemoteControl final : public RemoteSource {
public:
    explicit RemoteControl(std::string_view name = kRemoteControlMailslot);

    int poll() override;
    float depth() const override { return depth_; }
    std::int32_t time_period() const override { return time_period_; }
    std::int32_t mode_value() const override { return mode_value_; }
    std::string text() const override { return text_; }

    bool is_valid() const { return server_.is_valid(); }

private:
    MailslotServer server_;
    float depth_ = 0.0f;
    std::int32_t mode_value_ = 0;
    std::int32_t time_period_ = -1;
    std::string text_;
};

}  // namespace vetra::link
