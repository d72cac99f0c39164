#pragma once

#include <functional>
#include <memory>
#include <string>

namespace vetra::settings::ui {

// The computers of the local network, as the station computer dialog lists them. Listing
// runs in the background: `start` returns at once and `found` is called, on any thread,
// once per computer name as it turns up, and `finished` once when the search has nothing
// more to say for now (at once where the network service is absent or fails). Destroying the
// object stops the listing; no call comes after.
class NetworkComputers {
public:
    virtual ~NetworkComputers() = default;
    virtual void start(std::function<void(const std::string& name)> found,
                       std::function<void()> finished) = 0;
};

// On Windows the workstations and servers of the domain or workgroup (netapi32's
// NetServerEnum, loaded at run time); elsewhere the hosts that announce a workstation or
// file service over mDNS/DNS-SD (Avahi), where the program was built with Avahi, and a list
// that stays empty where it was not.
std::unique_ptr<NetworkComputers> make_network_computers();

}  // namespace vetra::settings::ui
