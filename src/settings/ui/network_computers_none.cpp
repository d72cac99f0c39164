#include "settings/ui/network_computers.h"

namespace vetra::settings::ui {
namespace {

// A build without Avahi: the list stays empty and the operator types the name.
class NoNetworkComputers final : public NetworkComputers {
public:
    void start(std::function<void(const std::string&)>, std::function<void()> finished) override {
        finished();
    }
};

}  // namespace

std::unique_ptr<NetworkComputers> make_network_computers() {
    return std::make_unique<NoNetworkComputers>();
}

}  // namespace vetra::settings::ui
