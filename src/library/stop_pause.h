#pragma once

#include <algorithm>
#include <chrono>
#include <stop_token>
#include <thread>

namespace vetra::library {

// Sleeps in short steps; false when a stop was requested meanwhile. Polls rather than
// waiting on a condition variable with a stop callback: with MinGW's libstdc++ 12 the
// callback's hand-over at destruction can miss its wake-up and hang the thread for good.
inline bool pause_unless_stopped(std::chrono::milliseconds length, const std::stop_token& stop) {
    const auto end = std::chrono::steady_clock::now() + length;
    while (!stop.stop_requested()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) {
            return true;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            end - now, std::chrono::milliseconds(10)));
    }
    return false;
}

}  // namespace vetra::library
