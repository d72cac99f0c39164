#include "link/wire_protocol.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace vetra::link {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes to_bytes(const ProgramFrame& frame) {
    return Bytes(frame.begin(), frame.end());
}

// --- program frame and totalizer command -------------------------------------------------

struct ProgramCase {
    const char* name;
    std::array<std::int32_t, 8> times;
    Bytes expected;
};

class ProgramFrameBytes : public ::testing::TestWithParam<ProgramCase> {};

TEST_P(ProgramFrameBytes, carry_the_low_bytes_and_a_checksum_that_zeroes_the_sum) {
    const ProgramCase& c = GetParam();
    const ProgramFrame frame = program_frame(c.times);
    EXPECT_EQ(to_bytes(frame), c.expected);
    unsigned sum = 0;
    for (std::uint8_t b : frame) {
        sum += b;
    }
    EXPECT_EQ(sum % 256, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    KnownFrames, ProgramFrameBytes,
    ::testing::Values(
        ProgramCase{
            "td5_defaults", {2, 23, 30, 35, 55, 70, 120, 0}, {2, 23, 30, 35, 55, 70, 120, 0, 0xB1}},
        ProgramCase{
            "velon_defaults", {4, 18, 70, 32, 120, 0, 0, 0}, {4, 18, 70, 32, 120, 0, 0, 0, 0x0C}},
        // 258 -> 2, 300 -> 44, 511 -> 255, -1 -> 255: bytes sum to 556 = 44 mod 256.
        ProgramCase{"values_above_255_keep_their_low_byte",
                    {258, 300, 511, -1, 0, 0, 0, 0},
                    {2, 44, 255, 255, 0, 0, 0, 0, 212}},
        ProgramCase{
            "all_zero_has_checksum_zero", {0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
        ProgramCase{"a_sum_of_exactly_256_has_checksum_zero",
                    {128, 128, 0, 0, 0, 0, 0, 0},
                    {128, 128, 0, 0, 0, 0, 0, 0, 0}},
        ProgramCase{"a_sum_of_1_has_checksum_255",
                    {0, 0, 0, 0, 0, 0, 0, 257},
                    {0, 0, 0, 0, 0, 0, 0, 1, 255}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TotalizerStreamCommand, is_summ_1_tor_with_checksum_c8) {
    EXPECT_EQ(to_bytes(totalizer_stream_command()),
              (Bytes{0x53, 0x55, 0x4D, 0x4D, 0x01, 0x54, 0x4F, 0x52, 0xC8}));
}

// --- bit reversal ----------------------------------------------------------------------

struct ReverseCase {
    std::uint8_t in;
    std::uint8_t out;
};

class Reverse7 : public ::testing::TestWithParam<ReverseCase> {};

TEST_P(Reverse7, mirrors_the_seven_low_bits_and_drops_bit_7) {
    EXPECT_EQ(reverse7(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(KnownAnswers, Reverse7,
                         ::testing::Values(ReverseCase{0x12, 0x24}, ReverseCase{0x34, 0x16},
                                           ReverseCase{0x01, 0x40}, ReverseCase{0x40, 0x01},
                                           ReverseCase{0x7F, 0x7F}, ReverseCase{0x00, 0x00},
                                           ReverseCase{0x08, 0x08}, ReverseCase{0x80, 0x00},
                                           ReverseCase{0x81, 0x40}, ReverseCase{0x03, 0x60}));

// --- decoding --------------------------------------------------------------------------

struct DecodeCase {
    const char* name;
    DecodeSettings settings;
    std::uint8_t a, b, c, d;
    int status;
    std::uint8_t kind;
    std::uint8_t tick;
    double value;
    bool is_sample;
    std::int32_t adc_code;
    std::int32_t range;
};

constexpr DecodeSettings kTd5{0, 14, 10, false};
constexpr DecodeSettings kTd5Use{0, 14, 10, true};
constexpr DecodeSettings kVelon{1, 14, 10, false};
constexpr DecodeSettings kVelonUse{1, 14, 10, true};
constexpr DecodeSettings kUnknown{2, 14, 10, true};
constexpr DecodeSettings kVelon12Bits{1, 12, 10, false};
constexpr DecodeSettings kVelonFactor2{1, 14, 2, false};

class DecodeFrame : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeFrame, gives_the_known_answer) {
    const DecodeCase& c = GetParam();
    const DecodedFrame out = decode_frame(c.a, c.b, c.c, c.d, c.settings);
    EXPECT_EQ(out.status, c.status);
    if (c.status != -100) {
        return;
    }
    EXPECT_EQ(out.frame.kind, c.kind);
    EXPECT_EQ(out.frame.tick, c.tick);
    EXPECT_DOUBLE_EQ(out.frame.value, c.value);
    EXPECT_EQ(out.is_sample, c.is_sample);
    if (c.is_sample) {
        EXPECT_EQ(out.adc_code, c.adc_code);
        EXPECT_EQ(out.range, c.range);
    }
}

INSTANTIATE_TEST_SUITE_P(
    KnownFrames, DecodeFrame,
    ::testing::Values(
        // 0x12 * 128 + 0x34 = 2356 on range 1.
        DecodeCase{"velon_plain_halves", kVelon, 0x85, 0x01, 0x12, 0x34, -100, 0, 5, 23560.0, true,
                   2356, 1},
        // Reversed halves 0x24, 0x16: 36 * 128 + 22 = 4630.
        DecodeCase{"td5_reversed_halves", kTd5, 0x85, 0x01, 0x12, 0x34, -100, 0, 5, 46300.0, true,
                   4630, 1},
        DecodeCase{"velon_all_ones_is_minus_one", kVelon, 0x80, 0x00, 0x7F, 0x7F, -100, 0, 0, -1.0,
                   true, -1, 0},
        DecodeCase{"velon_sign_bit_alone_is_minus_8192", kVelon, 0x80, 0x00, 0x40, 0x00, -100, 0, 0,
                   -8192.0, true, -8192, 0},
        DecodeCase{"velon_largest_positive_is_8191", kVelon, 0xFF, 0x00, 0x3F, 0x7F, -100, 0, 127,
                   8191.0, true, 8191, 0},
        DecodeCase{"td5_all_ones_is_minus_one", kTd5, 0x80, 0x00, 0x7F, 0x7F, -100, 0, 0, -1.0,
                   true, -1, 0},
        // Reversed, wire 0x01 is the sign bit 0x40 of the high half.
        DecodeCase{"td5_sign_bit_comes_reversed", kTd5, 0x80, 0x00, 0x01, 0x00, -100, 0, 0, -8192.0,
                   true, -8192, 0},
        DecodeCase{"range_3_multiplies_by_k_cubed", kVelon, 0x81, 0x03, 0x00, 0x02, -100, 0, 1,
                   2000.0, true, 2, 3},
        DecodeCase{"negative_codes_are_scaled_too", kVelon, 0x81, 0x02, 0x7F, 0x7E, -100, 0, 1,
                   -200.0, true, -2, 2},
        DecodeCase{"range_factor_2_on_range_2", kVelonFactor2, 0x81, 0x02, 0x00, 0x05, -100, 0, 1,
                   20.0, true, 5, 2},
        // N = 12: 16383 keeps 4095, whose bit 11 makes it -1; 2048 is the sign bit alone;
        // 4096 loses its only bit.
        DecodeCase{"twelve_bits_all_ones", kVelon12Bits, 0x80, 0x00, 0x7F, 0x7F, -100, 0, 0, -1.0,
                   true, -1, 0},
        DecodeCase{"twelve_bits_sign_bit", kVelon12Bits, 0x80, 0x00, 0x10, 0x00, -100, 0, 0,
                   -2048.0, true, -2048, 0},
        DecodeCase{"twelve_bits_drop_bit_12", kVelon12Bits, 0x80, 0x00, 0x20, 0x00, -100, 0, 0, 0.0,
                   true, 0, 0},
        DecodeCase{"velon_totalizer_channel_1", kVelonUse, 0x8A, 0x04, 0x7F, 0x7F, -100, 4, 10,
                   16383.0, false, 0, 0},
        DecodeCase{"velon_totalizer_channel_2", kVelonUse, 0x8A, 0x05, 0x12, 0x34, -100, 5, 10,
                   2356.0, false, 0, 0},
        // Bit 1 of B is not part of a totalizer kind.
        DecodeCase{"velon_totalizer_kind_keeps_bits_0_and_2", kVelonUse, 0x80, 0x07, 0x00, 0x01,
                   -100, 5, 0, 1.0, false, 0, 0},
        DecodeCase{"velon_bit_2_without_totalizer_is_a_sample", kVelon, 0x83, 0x05, 0x00, 0x07,
                   -100, 0, 3, 70.0, true, 7, 1},
        DecodeCase{"td5_ignores_bit_2", kTd5Use, 0x83, 0x04, 0x00, 0x40, -100, 0, 3, 1.0, true, 1,
                   0},
        DecodeCase{"unknown_model_gives_a_zero_sample", kUnknown, 0x85, 0x05, 0x12, 0x34, -100, 0,
                   0, 0.0, false, 0, 0},
        DecodeCase{"closing_frame_td5", kTd5, 0xFF, 0xFF, 0xFF, 0xFF, -96, 0, 0, 0.0, false, 0, 0},
        DecodeCase{"closing_frame_velon", kVelonUse, 0xFF, 0xFF, 0xFF, 0xFF, -96, 0, 0, 0.0, false,
                   0, 0},
        DecodeCase{"closing_frame_unknown_model", kUnknown, 0xFF, 0xFF, 0xFF, 0xFF, -96, 0, 0, 0.0,
                   false, 0, 0},
        // Three 0xFF and one other byte is data: range 3, code 0x7F * 128 + 0x7E = -2.
        DecodeCase{"nearly_closing_is_data", kVelon, 0xFF, 0xFF, 0xFF, 0x7E, -100, 0, 127, -2000.0,
                   true, -2, 3}),
    [](const auto& info) { return std::string(info.param.name); });

// --- reading frames from a byte source ---------------------------------------------------

// Plays a script of read outcomes; once it runs out the line is silent.
class ScriptedSource final : public ByteSource {
public:
    enum class Step { data, error, silence };

    ScriptedSource& data(const Bytes& bytes) {
        steps_.push_back({Step::data, bytes});
        return *this;
    }
    ScriptedSource& error() {
        steps_.push_back({Step::error, {}});
        return *this;
    }
    ScriptedSource& silence() {
        steps_.push_back({Step::silence, {}});
        return *this;
    }
    void fail_forever() { fail_forever_ = true; }

    // One read takes bytes from the front data step only, so a step boundary is a short read.
    ReadResult read(std::uint8_t* buffer, std::size_t n) override {
        ++reads;
        if (fail_forever_) {
            return {false, 0};
        }
        if (steps_.empty()) {
            return {true, 0};
        }
        Entry& front = steps_.front();
        if (front.step != Step::data) {
            const bool ok = front.step == Step::silence;
            steps_.pop_front();
            return {ok, 0};
        }
        std::size_t count = 0;
        while (count < n && !front.bytes.empty()) {
            buffer[count++] = front.bytes.front();
            front.bytes.pop_front();
        }
        if (front.bytes.empty()) {
            steps_.pop_front();
        }
        return {true, count};
    }
    void clear_errors() override { ++clears; }

    int reads = 0;
    int clears = 0;

private:
    struct Entry {
        Step step;
        std::deque<std::uint8_t> bytes;
        Entry(Step s, const Bytes& b) : step(s), bytes(b.begin(), b.end()) {}
    };
    std::deque<Entry> steps_;
    bool fail_forever_ = false;
};

const Bytes kFrame{0x85, 0x01, 0x12, 0x34};

void expect_the_known_frame(const FrameResult& r) {
    ASSERT_EQ(r.status, -100);
    EXPECT_EQ(r.decoded.frame.tick, 5);
    EXPECT_DOUBLE_EQ(r.decoded.frame.value, 23560.0);
    EXPECT_EQ(r.decoded.adc_code, 2356);
}

TEST(ReadSampleFrame, decodes_a_frame_on_a_clean_line) {
    ScriptedSource source;
    source.data(kFrame);
    expect_the_known_frame(read_sample_frame(source, kVelon));
}

TEST(ReadSampleFrame, bytes_with_bit_7_clear_before_a_first_byte_are_skipped) {
    Bytes noise(1000, 0x7F);
    noise.insert(noise.end(), {0x00, 0x12, 0x01});
    noise.insert(noise.end(), kFrame.begin(), kFrame.end());
    ScriptedSource source;
    source.data(noise);
    expect_the_known_frame(read_sample_frame(source, kVelon));
}

TEST(ReadSampleFrame, consecutive_frames_are_read_one_per_call) {
    ScriptedSource source;
    source.data({0x85, 0x01, 0x12, 0x34, 0x86, 0x00, 0x00, 0x09, 0xFF, 0xFF, 0xFF, 0xFF});
    expect_the_known_frame(read_sample_frame(source, kVelon));
    const FrameResult second = read_sample_frame(source, kVelon);
    ASSERT_EQ(second.status, -100);
    EXPECT_EQ(second.decoded.frame.tick, 6);
    EXPECT_DOUBLE_EQ(second.decoded.frame.value, 9.0);
    EXPECT_EQ(read_sample_frame(source, kVelon).status, -96);
    EXPECT_EQ(read_sample_frame(source, kVelon).status, -99);
}

TEST(ReadSampleFrame, the_three_bytes_after_a_first_byte_are_taken_as_they_come) {
    // A second byte with bit 7 set does not restart the frame: it is B.
    ScriptedSource source;
    source.data({0x85, 0x86, 0x00, 0x03});
    const FrameResult r = read_sample_frame(source, kVelon);
    ASSERT_EQ(r.status, -100);
    EXPECT_EQ(r.decoded.frame.tick, 5);
    EXPECT_EQ(r.decoded.range, 2);
    EXPECT_DOUBLE_EQ(r.decoded.frame.value, 300.0);
}

TEST(ReadSampleFrame, silence_while_hunting_is_minus_99) {
    ScriptedSource empty;
    EXPECT_EQ(read_sample_frame(empty, kVelon).status, -99);

    ScriptedSource noise_then_silence;
    noise_then_silence.data({0x01, 0x02, 0x03}).silence().data(kFrame);
    EXPECT_EQ(read_sample_frame(noise_then_silence, kVelon).status, -99);
}

struct ShortCase {
    const char* name;
    Bytes first_read;
    // What the read of B, C, D meets after those bytes; data: the next frame's step.
    ScriptedSource::Step then;
};

class ReadSampleFrameShort : public ::testing::TestWithParam<ShortCase> {};

TEST_P(ReadSampleFrameShort, fewer_than_three_bytes_after_a_first_byte_is_minus_98) {
    ScriptedSource source;
    source.data(GetParam().first_read);
    if (GetParam().then == ScriptedSource::Step::error) {
        source.error();
    } else if (GetParam().then == ScriptedSource::Step::silence) {
        source.silence();
    }
    source.data(kFrame);
    EXPECT_EQ(read_sample_frame(source, kVelon).status, -98);
    // The next call starts afresh and finds the following frame.
    expect_the_known_frame(read_sample_frame(source, kVelon));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadSampleFrameShort,
    ::testing::Values(
        ShortCase{"no_byte", {0x85}, ScriptedSource::Step::silence},
        ShortCase{"one_byte", {0x85, 0x01}, ScriptedSource::Step::data},
        ShortCase{"two_bytes", {0x85, 0x01, 0x12}, ScriptedSource::Step::data},
        ShortCase{"a_failed_read", {0x85}, ScriptedSource::Step::error},
        ShortCase{"after_noise", {0x01, 0x02, 0x85, 0x01, 0x12}, ScriptedSource::Step::data}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadSampleFrame, read_errors_are_cleared_and_reading_goes_on) {
    ScriptedSource source;
    source.error().error().data({0x01}).error().data(kFrame);
    expect_the_known_frame(read_sample_frame(source, kVelon));
    EXPECT_EQ(source.clears, 3);
}

TEST(ReadSampleFrame, an_error_followed_by_silence_is_minus_99_at_once) {
    ScriptedSource source;
    source.error().silence();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(read_sample_frame(source, kVelon).status, -99);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(source.clears, 1);
}

TEST(ReadSampleFrame, errors_that_persist_end_like_silence_within_about_a_second) {
    ScriptedSource source;
    source.fail_forever();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(read_sample_frame(source, kVelon).status, -99);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GT(elapsed.count(), 0.5);
    EXPECT_LT(elapsed.count(), 3.0);
    EXPECT_GT(source.clears, 1);
    EXPECT_EQ(source.clears, source.reads);
}

TEST(ReadSampleFrame, decoding_follows_the_settings_given) {
    const Bytes totalizer{0x83, 0x05, 0x00, 0x07};
    ScriptedSource source;
    source.data(totalizer).data(totalizer).data(totalizer);
    const FrameResult in_use = read_sample_frame(source, kVelonUse);
    ASSERT_EQ(in_use.status, -100);
    EXPECT_EQ(in_use.decoded.frame.kind, 5);
    EXPECT_FALSE(in_use.decoded.is_sample);
    const FrameResult not_in_use = read_sample_frame(source, kVelon);
    ASSERT_EQ(not_in_use.status, -100);
    EXPECT_EQ(not_in_use.decoded.frame.kind, 0);
    EXPECT_DOUBLE_EQ(not_in_use.decoded.frame.value, 70.0);
    const FrameResult td5 = read_sample_frame(source, kTd5);
    ASSERT_EQ(td5.status, -100);
    EXPECT_DOUBLE_EQ(td5.decoded.frame.value, 10.0 * 0x70);  // 0x07 reversed is 0x70
}

}  // namespace
}  // namespace vetra::link
