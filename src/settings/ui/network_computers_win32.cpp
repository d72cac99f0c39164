#include "settings/ui/network_computers.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <lm.h>

#include <QString>
#include <memory>
#include <set>
#include <thread>
#include <type_traits>

namespace vetra::settings::ui {
namespace {

using NetServerEnumFn = NET_API_STATUS(WINAPI*)(LMCSTR server, DWORD level, LPBYTE* buffer,
                                                DWORD max_length, LPDWORD read, LPDWORD total,
                                                DWORD types, LMCSTR domain, LPDWORD resume);
using NetApiBufferFreeFn = NET_API_STATUS(WINAPI*)(LPVOID buffer);

struct LibraryFree {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using Library = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFree>;

template <typename Fn>
Fn entry(HMODULE module, const char* name) {
    // Through the generic function type, which every function pointer type converts from.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The workstations and servers of this computer's domain or workgroup, as the network
// browser knows them. netapi32 is loaded only when the list is asked for, so a system
// without it (or without the browser service) still starts and the list stays empty.
// NetServerEnum can take seconds on a network with no master browser: it runs on a thread
// of its own.
class NetServerComputers final : public NetworkComputers {
public:
    ~NetServerComputers() override {
        if (worker_.joinable()) {
            worker_.request_stop();
            worker_.join();
        }
    }

    void start(std::function<void(const std::string&)> found,
               std::function<void()> finished) override {
        worker_ = std::jthread(
            [found = std::move(found), finished = std::move(finished)](std::stop_token stop) {
                list(stop, found);
                if (finished && !stop.stop_requested()) {
                    finished();
                }
            });
    }

private:
    static void list(const std::stop_token& stop,
                     const std::function<void(const std::string&)>& found) {
        const Library netapi(LoadLibraryW(L"netapi32.dll"));
        if (!netapi) {
            return;
        }
        const auto enumerate = entry<NetServerEnumFn>(netapi.get(), "NetServerEnum");
        const auto release = entry<NetApiBufferFreeFn>(netapi.get(), "NetApiBufferFree");
        if (enumerate == nullptr || release == nullptr) {
            return;
        }
        LPBYTE buffer = nullptr;
        DWORD read = 0;
        DWORD total = 0;
        const NET_API_STATUS status =
            enumerate(nullptr, 100, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                      SV_TYPE_WORKSTATION | SV_TYPE_SERVER, nullptr, nullptr);
        // With more data than fits, the entries that came are still good.
        if ((status == NERR_Success || status == ERROR_MORE_DATA) && buffer != nullptr) {
            const auto* servers = reinterpret_cast<const SERVER_INFO_100*>(buffer);
            std::set<std::string> seen;
            for (DWORD i = 0; i < read && !stop.stop_requested(); ++i) {
                if (servers[i].sv100_name == nullptr || *servers[i].sv100_name == L'\0') {
                    continue;
                }
                std::string name = QString::fromWCharArray(servers[i].sv100_name).toStdString();
                if (seen.insert(name).second && found) {
                    found(name);
                }
            }
        }
        if (buffer != nullptr) {
            release(buffer);
        }
    }

    std::jthread worker_;
};

}  // namespace

std::unique_ptr<NetworkComputers> make_network_computers() {
    return std::make_unique<NetServerComputers>();
}

}  // namespace vetra::settings::ui
