// The simulator's signal as the program sees it: its frames decode to the millivolts it
// meant, and the areas it writes as the truth are what the program measures.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "analysis/calculator_rig.h"
#include "chromatograph_signal.h"
#include "control/sample_reducer.h"
#include "link/wire_protocol.h"

namespace vetra::sim {
namespace {

constexpr AdcScale kAdc{};  // the program's default ADC settings

double decoded_mv(const Frame& f, int model, bool totalizer_use = false) {
    link::DecodeSettings s;
    s.device_type = model;
    s.adc_bits = kAdc.bits;
    s.range_factor = kAdc.range_factor;
    s.totalizer_use = totalizer_use;
    const auto d = link::decode_frame(f[0], f[1], f[2], f[3], s);
    return d.frame.value * 1000.0 * kAdc.input_voltage /
           control::full_scale(kAdc.bits, kAdc.range_factor, kAdc.ranges);
}

class Encoding : public testing::TestWithParam<std::tuple<int, double>> {};

TEST_P(Encoding, a_sample_decodes_to_the_millivolts_it_was_made_of) {
    const auto [model, mv] = GetParam();
    const AdcReading reading = to_adc(mv, kAdc);
    const int range = reading.range;
    const Frame f = sample_frame(model, 93, reading, kAdc.bits);
    EXPECT_EQ(f[0], 0x80 | 93);
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(f[i] & 0x80, 0) << "byte " << i << " would start a frame";
    }
    // Half a code of the chosen range.
    const double half_step = 0.5 * std::pow(kAdc.range_factor, range) / kAdc.codes_per_mv();
    EXPECT_NEAR(decoded_mv(f, model), mv, half_step * 1.0001);
}

INSTANTIATE_TEST_SUITE_P(BothModels, Encoding,
                         testing::Combine(testing::Values(0, 1),
                                          testing::Values(0.0, 0.2, -1.0, 1.2499, -1.25, 1.2502,
                                                          2.0, 12.6, -80.0, 300.0)));

struct RangeCase {
    double mv;
    int range;
};

class RangeChoice : public testing::TestWithParam<RangeCase> {};

TEST_P(RangeChoice, the_code_never_overflows_its_width) {
    const auto [mv, range] = GetParam();
    const AdcReading r = to_adc(mv, kAdc);
    EXPECT_EQ(r.range, range);
    EXPECT_LE(r.code, 8191);
    EXPECT_GE(r.code, -8192);
    if (range < kAdc.ranges - 1) {
        EXPECT_NEAR(decoded_mv(sample_frame(1, 0, r, kAdc.bits), 1), mv,
                    0.5 * std::pow(10.0, range) / kAdc.codes_per_mv() * 1.0001);
    }
}

// Range 0 holds up to 1.25 mV, each further range ten times more; 1250 mV and beyond
// saturate the widest.
INSTANTIATE_TEST_SUITE_P(Ranges, RangeChoice,
                         testing::Values(RangeCase{1.2, 0}, RangeCase{-1.25, 0}, RangeCase{1.3, 1},
                                         RangeCase{12.49, 1}, RangeCase{12.51, 2},
                                         RangeCase{-80.0, 2}, RangeCase{124.9, 2},
                                         RangeCase{126.0, 3}, RangeCase{1249.0, 3},
                                         RangeCase{5000.0, 3}, RangeCase{-5000.0, 3}));

TEST(Encoding, the_halves_of_model_0_are_bit_reversed) {
    const AdcReading r{1, 2356};  // high half 0x12, low half 0x34
    EXPECT_EQ(sample_frame(1, 5, r, 14), (Frame{0x85, 0x01, 0x12, 0x34}));
    EXPECT_EQ(sample_frame(0, 5, r, 14), (Frame{0x85, 0x01, 0x24, 0x16}));
}

TEST(Encoding, totalizer_frames_decode_as_readings_of_either_channel) {
    link::DecodeSettings s;
    s.device_type = 1;
    s.totalizer_use = true;
    for (const int channel : {0, 1}) {
        const Frame f = totalizer_frame(7, channel, 8191);
        const auto d = link::decode_frame(f[0], f[1], f[2], f[3], s);
        EXPECT_EQ(d.frame.kind, channel == 0 ? 4 : 5);
        EXPECT_EQ(d.frame.value, 8191.0);
        EXPECT_FALSE(d.is_sample);
    }
}

TEST(Peaks, a_peak_list_is_read_or_refused_whole) {
    const auto peaks = parse_peaks("метан:12.5:40:0.5,x:1,5:2:0,25");
    ASSERT_FALSE(peaks.has_value()) << "a comma is the item separator";
    const auto good = parse_peaks("метан:12.5:40:0.5,этан:18.5:20:0.3");
    ASSERT_TRUE(good.has_value());
    ASSERT_EQ(good->size(), 2u);
    EXPECT_EQ((*good)[1].name, "этан");
    EXPECT_DOUBLE_EQ((*good)[1].sigma, 0.3);
    for (const char* bad : {"", "a:1:2", "a:1:2:0", "a:1:2:-1", ":1:2:3", "a:x:2:3", "a:1:2:3,"}) {
        EXPECT_FALSE(parse_peaks(bad).has_value()) << bad;
    }
}

// The whole reduction the program applies: the simulator's frames, decoded, reduced to
// points by 50-tick trimmed means, and the default gases' areas computed from them.
std::vector<double> measured_areas(double noise_mv, std::uint32_t seed, int rate) {
    analysis::test::CalculatorRig rig(rate);
    rig.calc.set_concentration_function([](int, double area) { return area / 1000.0; });
    SignalSource signal(2.0, noise_mv, default_peaks(), seed);
    control::SampleReducer reducer(rate);
    const long ticks = 90L * 50 * rate;
    for (long i = 0; i <= ticks; ++i) {
        const double t = static_cast<double>(i) / (50.0 * rate);
        const Frame f = sample_frame(0, static_cast<std::uint8_t>(i & 0x7F),
                                     to_adc(signal.sample(t), kAdc), kAdc.bits);
        reducer.add(f[0] & 0x7F, decoded_mv(f, 0),
                    [&](const control::SampleReducer::Point& p) { rig.append(p.value); });
    }
    EXPECT_EQ(rig.samples.size(), static_cast<std::size_t>(90 * rate));
    rig.calc.process(0, true);
    std::vector<double> areas;
    for (const auto& r : rig.calc.results()) {
        if (!r.derived) {
            areas.push_back(r.area);
        }
    }
    return areas;
}

class TruthAreas : public testing::TestWithParam<std::tuple<double, int>> {};

// The end-to-end tests allow 2 %; the signal itself must leave most of that to spare.
TEST_P(TruthAreas, are_what_the_program_measures) {
    const auto [noise, rate] = GetParam();
    const auto peaks = default_peaks();
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        const auto areas = measured_areas(noise, seed, rate);
        ASSERT_EQ(areas.size(), peaks.size());
        for (std::size_t g = 0; g < peaks.size(); ++g) {
            const double truth = peak_area(peaks[g]);
            EXPECT_NEAR(areas[g], truth, 0.005 * truth) << peaks[g].name << " seed " << seed;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(NoiseAndRate, TruthAreas,
                         testing::Combine(testing::Values(0.0, 0.02), testing::Values(8, 20)));

}  // namespace
}  // namespace vetra::sim

namespace vetra::sim {
namespace {

TEST(CalibrationGas, peak_areas_follow_the_mixture_and_the_response) {
    const auto mixture = parse_mixture("# fed\nметан=0,5\r\n\nэтан = 2\n");
    ASSERT_TRUE(mixture);
    EXPECT_EQ(mixture->size(), 2u);
    EXPECT_FALSE(parse_mixture("метан 0.5\n"));
    EXPECT_FALSE(parse_mixture("метан=-1\n"));
    EXPECT_FALSE(parse_response("метан=1,,этан=2"));
    const auto response = parse_response("метан=100,этан=40");
    ASSERT_TRUE(response);

    const auto peaks = mixture_peaks(default_peaks(), *mixture, *response);
    ASSERT_EQ(peaks.size(), default_peaks().size());
    EXPECT_NEAR(peak_area(peaks[0]), 50.0, 1e-9);
    EXPECT_NEAR(peak_area(peaks[1]), 80.0, 1e-9);
    // Not fed, or no response: no peak.
    EXPECT_EQ(peaks[2].height, 0.0);
    EXPECT_EQ(mixture_peaks(default_peaks(), {{"пропан", 1}}, *response)[2].height, 0.0);
    EXPECT_NEAR(peak_area(mixture_peaks(default_peaks(), {{"гексан", 2}}, default_response())[5]),
                100.0, 1e-9);
}

}  // namespace
}  // namespace vetra::sim
