// Closing the program waits for the acquisition thread: a stop request must end a read that
// waits on the line (a silent line, or one that sends bytes that never start a frame) within
// about 100 ms. Measured from the request to the end of the join.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <stop_token>
#include <string>
#include <thread>

#include "link/serial_port.h"
#include "link/wire_protocol.h"

namespace {

using Clock = std::chrono::steady_clock;

// The device side of a pseudo-terminal; the port opens the other side.
class Line {
public:
    Line() : master_(::posix_openpt(O_RDWR | O_NOCTTY)) {
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            slave_ = ::ptsname(master_);
        }
    }
    ~Line() { ::close(master_); }
    const std::string& slave() const { return slave_; }
    int master() const { return master_; }

private:
    int master_;
    std::string slave_;
};

class PortSource final : public vetra::link::ByteSource {
public:
    PortSource(vetra::link::SerialPort& port, std::stop_token stop)
        : port_(port), stop_(std::move(stop)) {}
    vetra::link::ReadResult read(std::uint8_t* buffer, std::size_t n) override {
        return port_.read(buffer, n, stop_);
    }
    void clear_errors() override {}

private:
    vetra::link::SerialPort& port_;
    std::stop_token stop_;
};

// Arg 0: a silent line; arg 1: a byte with bit 7 clear every 10 ms.
void BM_stop_while_hunting_for_a_frame(benchmark::State& state) {
    Line line;
    vetra::link::SerialPort port;
    if (!port.open(line.slave()) || !port.apply_mode("19200,n,8,1") ||
        !port.set_timeouts(1000, 0, 1000)) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const bool noisy = state.range(0) == 1;
    for (auto _ : state) {
        std::jthread noise([&](std::stop_token stop) {
            while (noisy && !stop.stop_requested()) {
                (void)::write(line.master(), "\x01", 1);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        std::jthread reader([&](std::stop_token stop) {
            PortSource source(port, stop);
            while (!stop.stop_requested()) {
                (void)vetra::link::read_sample_frame(source, {1, 14, 10, false}, stop);
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const auto asked = Clock::now();
        reader.request_stop();
        reader.join();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - asked).count());
    }
}
BENCHMARK(BM_stop_while_hunting_for_a_frame)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

}  // namespace
