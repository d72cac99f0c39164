#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "link/wits0.h"
#include "link/wits_rig_values.h"

namespace vetra::link {

// Where the rig's WITS level 0 stream goes to or comes from.
enum class WitsTransport : std::int32_t { off = 0, serial = 1, tcp_client = 2, tcp_server = 3 };

// A rig's server sends depth at least every few seconds; a connection silent this long has
// lost its peer (power, cable) even when the system has not noticed.
inline constexpr std::chrono::seconds kDefaultIdleLimit{30};
// A receiver that takes no bytes for this long while a packet waits has stopped reading.
inline constexpr std::chrono::seconds kWriteLimit{5};

struct WitsEndpoint {
    WitsTransport transport = WitsTransport::off;
    std::string port_name = "COM2";   // serial
    std::string mode = "9600,n,8,1";  // serial
    std::string address;              // "host:port" to connect to, or the port to listen on
    // Input: no byte for this long closes the line and opens it again; 0 never.
    std::chrono::milliseconds idle_limit = kDefaultIdleLimit;
    // Output: a write to a receiver that does not complete within this drops the receiver.
    std::chrono::milliseconds write_limit = kWriteLimit;
};

// What a WITS link is doing now, for the status area and `vetra-console --verbose`.
enum class WitsLinkState : std::int32_t {
    off,               // not configured
    address_invalid,   // the address cannot be used; nothing is tried until it changes
    port_unavailable,  // the serial port does not open, or the TCP port cannot be listened on
    no_receiver,       // trying to connect (tried again every two seconds)
    listening,         // waiting for receivers on a TCP port
    connected,         // the serial port is open, or connected to the peer (or receivers)
    silent,            // input: nothing arrived within the idle limit; closed, opened again soon
    stalled,           // output: the receiver stopped taking data; dropped, connected again soon
};

struct WitsLinkStatus {
    WitsLinkState state = WitsLinkState::off;
    WitsTransport transport = WitsTransport::off;
    std::string where;  // port name, "host:port", the port listened on, or the bad address
    int receivers = 0;  // listening: receivers connected now
    int dropped = 0;    // output: receivers dropped so far because they stopped taking data

    bool operator==(const WitsLinkStatus&) const = default;
};

// The operator's words for a link's state: `output` the sender of WITS packets ("WITS
// передача: ..."), otherwise the depth reader ("WITS глубина: ...").
std::string wits_status_text(const WitsLinkStatus& status, bool output);

// Why an address cannot serve the transport ("" when it can): a connection needs host:port
// with a port 1..65535; listening needs a port (0: any free one), optionally after an IPv4
// address to listen on.
std::string wits_address_problem(WitsTransport transport, const std::string& address);

// Sends WITS packets on a thread of its own, so a receiver that is slow, gone or never there
// costs the caller nothing. A port or connection that fails is tried again every two
// seconds without a word; packets that find no receiver are dropped, and a receiver that
// falls behind by more than a bounded amount loses packets rather than growing a queue. A
// receiver that takes nothing within the write limit is dropped (and counted), so it cannot
// hold the others up.
class WitsOutput {
public:
    explicit WitsOutput(WitsEndpoint endpoint);
    ~WitsOutput();
    WitsOutput(const WitsOutput&) = delete;
    WitsOutput& operator=(const WitsOutput&) = delete;

    // Never blocks.
    void send(std::string packet);
    // Receivers connected now (1 for an open serial port).
    [[nodiscard]] int receivers() const { return receivers_.load(); }
    // The port actually listened on (useful when 0 asked for any free one); 0 otherwise.
    [[nodiscard]] std::uint16_t listening_port() const { return listening_port_.load(); }
    // From any thread.
    [[nodiscard]] WitsLinkStatus status() const;

    static constexpr std::size_t kMaxBacklogBytes = 64 * 1024;
    static constexpr int kMaxQueuedPackets = 64;
    static constexpr int kMaxReceivers = 16;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::atomic<int> receivers_{0};
    std::atomic<std::uint16_t> listening_port_{0};
    mutable std::mutex status_mutex_;
    WitsLinkStatus status_;
};

// Reads the rig's WITS level 0 stream (serial, or a TCP connection it keeps trying) on a
// thread of its own and keeps the last depth of the chosen item. A line silent for the idle
// limit is closed, said so in the state, and opened again after the usual pause.
class WitsInput {
public:
    WitsInput(WitsEndpoint endpoint, WitsDepthItem item);
    ~WitsInput();
    WitsInput(const WitsInput&) = delete;
    WitsInput& operator=(const WitsInput&) = delete;

    // The depth last received, while it is younger than the 10 s a station's depth is good for.
    [[nodiscard]] std::optional<double> depth(
        std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now()) const;

    static constexpr std::chrono::seconds kValidity{10};

    // From any thread.
    [[nodiscard]] WitsLinkStatus status() const;
    // The bit and hole depth and the pumps' strokes as last received, for the depth history.
    [[nodiscard]] RigValues rig_values() const { return rig_values_.values(); }

private:
    struct Impl;
    void take(const WitsItem& item);
    void set_status(WitsLinkState state, std::string where);

    WitsDepthItem item_;
    mutable std::mutex mutex_;
    std::optional<double> depth_;
    std::chrono::steady_clock::time_point depth_time_{};
    WitsLinkStatus status_;  // under mutex_
    WitsRigValues rig_values_;
    std::unique_ptr<Impl> impl_;
};

// "host:port" or a bare port (host then empty); nullopt when the port is missing or bad.
struct HostPort {
    std::string host;
    std::uint16_t port = 0;
};
std::optional<HostPort> parse_host_port(const std::string& text);

}  // namespace vetra::link
