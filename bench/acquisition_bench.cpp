// The acquisition thread must keep up with the device's stream (50 x R ticks per second,
// 400 at the default rate) with a wide margin; these measure frames per second through
// decoding and reduction, and the trimmed mean that dominates a point.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "control/sample_reducer.h"
#include "link/wire_protocol.h"

namespace {

using vetra::control::SampleReducer;

struct WireFrame {
    std::uint8_t a, b, c, d;
};

// Ticks one apart, a slow sine with noise on changing ranges, as model 1 sends it.
std::vector<WireFrame> recorded_stream(std::size_t count) {
    std::vector<WireFrame> frames;
    frames.reserve(count);
    std::uint32_t noise = 12345;
    for (std::size_t i = 0; i < count; ++i) {
        noise = noise * 1103515245u + 12345u;
        const int code = static_cast<int>(4000.0 * std::sin(static_cast<double>(i) / 300.0)) +
                         static_cast<int>((noise >> 16) % 64) - 32;
        const int raw = code & 0x3FFF;
        frames.push_back(
            {static_cast<std::uint8_t>(0x80 | (i % 128)), static_cast<std::uint8_t>((i / 5000) % 4),
             static_cast<std::uint8_t>((raw >> 7) & 0x7F), static_cast<std::uint8_t>(raw & 0x7F)});
    }
    return frames;
}

void BM_decode_and_reduce(benchmark::State& state) {
    const auto frames = recorded_stream(1 << 16);
    const vetra::link::DecodeSettings settings{1, 14, 10, false};
    const double scale = vetra::control::full_scale(14, 10, 4);
    SampleReducer reducer(8);
    double sink = 0.0;
    std::size_t at = 0;
    for (auto _ : state) {
        const WireFrame& f = frames[at];
        at = (at + 1) % frames.size();
        const auto decoded = vetra::link::decode_frame(f.a, f.b, f.c, f.d, settings);
        reducer.add(decoded.frame.tick, decoded.frame.value * 1000.0 * 2.5 / scale,
                    [&sink](const SampleReducer::Point& p) { sink += p.value; });
    }
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_decode_and_reduce);

// The same with the framing: bytes hunted and read through a ByteSource.
class MemorySource final : public vetra::link::ByteSource {
public:
    explicit MemorySource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    vetra::link::ReadResult read(std::uint8_t* buffer, std::size_t n) override {
        for (std::size_t i = 0; i < n; ++i) {
            buffer[i] = bytes_[at_];
            at_ = (at_ + 1) % bytes_.size();
        }
        return {true, n};
    }
    void clear_errors() override {}

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

void BM_read_decode_and_reduce(benchmark::State& state) {
    std::vector<std::uint8_t> bytes;
    for (const WireFrame& f : recorded_stream(1 << 16)) {
        bytes.insert(bytes.end(), {f.a, f.b, f.c, f.d});
    }
    MemorySource source(std::move(bytes));
    const vetra::link::DecodeSettings settings{1, 14, 10, false};
    const double scale = vetra::control::full_scale(14, 10, 4);
    SampleReducer reducer(8);
    double sink = 0.0;
    for (auto _ : state) {
        const auto r = vetra::link::read_sample_frame(source, settings);
        reducer.add(r.decoded.frame.tick, r.decoded.frame.value * 1000.0 * 2.5 / scale,
                    [&sink](const SampleReducer::Point& p) { sink += p.value; });
    }
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_read_decode_and_reduce);

void BM_trimmed_mean_of_50(benchmark::State& state) {
    std::vector<std::vector<double>> blocks(64, std::vector<double>(50));
    std::uint32_t noise = 7;
    for (auto& block : blocks) {
        for (double& v : block) {
            noise = noise * 1103515245u + 12345u;
            v = static_cast<double>((noise >> 8) % 100000) / 1000.0;
        }
    }
    std::size_t at = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vetra::control::trimmed_mean(blocks[at]));
        at = (at + 1) % blocks.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_trimmed_mean_of_50);

}  // namespace
