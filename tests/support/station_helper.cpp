// A tiny registration station for the end-to-end run under Wine: it owns the results mailslot
// and prints each message as vetra-console prints results (UTF-8 lines, then an empty line),
// and it can send one remote-control message once the workstation's mailslot is there.
//
// station_helper [--send LINE]... [--messages N] [--timeout S]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "library/cp1251.h"
#include "link/mailslot.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

void print_message(std::string text) {
    if (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    std::string out;
    for (char c : vetra::library::cp1251_to_utf8(text)) {
        if (c != '\r') {
            out += c;
        }
    }
    if (!out.empty() && out.back() != '\n') {
        out += '\n';
    }
    std::fputs((out + "\n").c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::string message;
    long messages = 2;
    long timeout_s = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--send") {
            message += std::string(argv[i + 1]) + "\r\n";
        } else if (arg == "--messages") {
            messages = std::strtol(argv[i + 1], nullptr, 10);
        } else if (arg == "--timeout") {
            timeout_s = std::strtol(argv[i + 1], nullptr, 10);
        }
    }
    vetra::link::MailslotServer results("\\\\.\\mailslot\\Registration\\FixedData", 4096);
    if (!results.is_valid()) {
        std::fprintf(stderr, "station: results mailslot taken\n");
        return 2;
    }
    std::fprintf(stderr, "station: ready\n");
    const auto end = Clock::now() + std::chrono::seconds(timeout_s);
    bool sent = message.empty();
    long received = 0;
    while (received < messages && Clock::now() < end) {
        if (!sent && vetra::link::mailslot_write("\\\\.\\mailslot\\chromatograph",
                                                 vetra::library::utf8_to_cp1251(message))) {
            sent = true;
            std::fprintf(stderr, "station: sent\n");
        }
        if (auto next = results.read_next()) {
            print_message(*next);
            ++received;
            continue;
        }
        std::this_thread::sleep_for(20ms);
    }
    std::fflush(stderr);
    return received == messages && sent ? 0 : 1;
}
