#include "settings/ui/network_computers.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

#include <iterator>
#include <set>
#include <thread>

namespace vetra::settings::ui {
namespace {

// Workstations announce "_workstation._tcp"; Samba servers "_smb._tcp".
constexpr const char* kServiceTypes[] = {"_workstation._tcp", "_smb._tcp"};
constexpr int kPollMs = 100;

// Runs its own Avahi loop on a thread of its own, so neither a slow daemon nor a missing
// one can hold up the window. Each host is reported once, by its mDNS host name.
class AvahiComputers final : public NetworkComputers {
public:
    ~AvahiComputers() override {
        if (worker_.joinable()) {
            worker_.request_stop();
            worker_.join();
        }
    }

    void start(std::function<void(const std::string&)> found,
               std::function<void()> finished) override {
        found_ = std::move(found);
        finished_ = std::move(finished);
        worker_ = std::jthread([this](std::stop_token stop) { run(stop); });
    }

private:
    void run(std::stop_token stop) {
        AvahiSimplePoll* poll = avahi_simple_poll_new();
        if (poll == nullptr) {
            finish();
            return;
        }
        int error = 0;
        // Without AVAHI_CLIENT_NO_FAIL a missing daemon fails here at once: the list stays empty.
        AvahiClient* client = avahi_client_new(avahi_simple_poll_get(poll), AvahiClientFlags(0),
                                               nullptr, nullptr, &error);
        if (client == nullptr) {
            finish();
        } else {
            client_ = client;
            for (const char* type : kServiceTypes) {
                if (avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, type,
                                              nullptr, AvahiLookupFlags(0), &on_browse,
                                              this) == nullptr) {
                    browser_done();
                }
            }
            while (!stop.stop_requested()) {
                if (avahi_simple_poll_iterate(poll, kPollMs) != 0) {
                    break;
                }
            }
            // Freeing the client frees its browsers and resolvers.
            avahi_client_free(client);
        }
        avahi_simple_poll_free(poll);
    }

    static void on_browse(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
                          AvahiBrowserEvent event, const char* name, const char* type,
                          const char* domain, AvahiLookupResultFlags, void* self) {
        auto* me = static_cast<AvahiComputers*>(self);
        if (event == AVAHI_BROWSER_ALL_FOR_NOW || event == AVAHI_BROWSER_FAILURE) {
            me->browser_done();
            return;
        }
        if (event != AVAHI_BROWSER_NEW) {
            return;
        }
        (void)avahi_service_resolver_new(me->client_, interface, protocol, name, type, domain,
                                         AVAHI_PROTO_UNSPEC, AvahiLookupFlags(0), &on_resolve, me);
    }

    static void on_resolve(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol,
                           AvahiResolverEvent event, const char*, const char*, const char*,
                           const char* host_name, const AvahiAddress*, uint16_t, AvahiStringList*,
                           AvahiLookupResultFlags, void* self) {
        auto* me = static_cast<AvahiComputers*>(self);
        if (event == AVAHI_RESOLVER_FOUND && host_name != nullptr && *host_name != '\0') {
            if (me->seen_.insert(host_name).second && me->found_) {
                me->found_(host_name);
            }
        }
        avahi_service_resolver_free(resolver);
    }

    // Each browser says once that it has listed what is there now.
    void browser_done() {
        if (++browsers_done_ == std::size(kServiceTypes)) {
            finish();
        }
    }
    void finish() {
        if (finished_) {
            finished_();
            finished_ = nullptr;
        }
    }

    std::function<void(const std::string&)> found_;
    std::function<void()> finished_;  // the worker's alone after start
    std::size_t browsers_done_ = 0;   // the worker's alone
    AvahiClient* client_ = nullptr;   // the worker's alone
    std::set<std::string> seen_;      // the worker's alone
    std::jthread worker_;
};

}  // namespace

std::unique_ptr<NetworkComputers> make_network_computers() {
    return std::make_unique<AvahiComputers>();
}

}  // namespace vetra::settings::ui
