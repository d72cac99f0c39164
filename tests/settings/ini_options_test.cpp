#include "settings/ini_options.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "library/cp1251.h"
#include "library/number_text.h"
#include "support/temp_dir.h"

namespace vetra::settings {
namespace {

using library::cp1251_to_utf8;
using library::utf8_to_cp1251;
using test::read_bytes;
using test::TempDir;
using test::write_bytes;

constexpr std::int32_t kBlockDefault = 0x7F7F7F7F;

// One value of every kind, all in section "s", with a log of the framework's calls.
class Sample : public IniOptions {
public:
    std::int32_t number = 7;
    Colour colour = 0x00FF8040;
    bool flag = false;
    float single = 1.5f;
    double real = 0.25;
    std::string text = "abc";
    std::int32_t block_int = kBlockDefault;
    std::array<std::uint8_t, 3> block{0x11, 0x22, 0x33};
    std::atomic<std::int32_t> a_number{5};
    std::atomic<bool> a_flag{false};
    std::atomic<float> a_single{0.5f};

    std::vector<std::string> log;
    std::int32_t number_seen_after_load = 0;
    std::optional<std::string> number_in_file_after_save;

protected:
    void register_bindings(BindingList& l) override {
        log.push_back("register");
        l.add_integer(&number, "s", "number");
        l.add_colour(&colour, "s", "colour");
        l.add_bool(&flag, "s", "flag");
        l.add_float(&single, "s", "single");
        l.add_double(&real, "s", "real");
        l.add_text(&text, "s", "text");
        l.add_int_block(&block_int, "s", "block_int");
        l.add_bytes(block.data(), block.size(), "s", "block");
        l.add_integer(&a_number, "s", "a_number");
        l.add_bool(&a_flag, "s", "a_flag");
        l.add_float(&a_single, "s", "a_single");
    }
    void before_load(const IniFile&) override { log.push_back("before_load"); }
    void after_load(const IniFile&) override {
        log.push_back("after_load");
        number_seen_after_load = number;
    }
    void before_save(IniFile&) override { log.push_back("before_save"); }
    void after_save(IniFile& file) override {
        log.push_back("after_save");
        number_in_file_after_save = file.read("s", "number");
    }
};

// Restores the process's decimal separator after each test.
class SeparatorGuard {
public:
    explicit SeparatorGuard(char separator) : saved_(library::decimal_separator()) {
        library::set_decimal_separator(separator);
    }
    ~SeparatorGuard() { library::set_decimal_separator(saved_); }

private:
    char saved_;
};

// The text after "key=" on the saved file's line for the key, as UTF-8.
std::optional<std::string> value_on_disk(const std::filesystem::path& path,
                                         const std::string& key) {
    const std::string text = cp1251_to_utf8(read_bytes(path));
    const std::string prefix = key + "=";
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find("\r\n", start);
        const std::string line = text.substr(start, end - start);
        if (line.rfind(prefix, 0) == 0) {
            return line.substr(prefix.size());
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 2;
    }
    return std::nullopt;
}

// Loads a Sample from a file whose section "s" holds one key.
void load_one(Sample& sample, const std::string& key, const std::string& stored) {
    TempDir dir;
    const auto path = dir / "one.ini";
    write_bytes(path, utf8_to_cp1251("[s]\r\n" + key + "=" + stored + "\r\n"));
    sample.load(path.string());
}

// --- writing ---------------------------------------------------------------------------

struct WriteCase {
    const char* label;
    char separator;
    std::function<void(Sample&)> set;
    const char* key;
    const char* expected;
};

class WrittenAs : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WrittenAs, exact_text_on_disk) {
    const auto& c = GetParam();
    SeparatorGuard separator(c.separator);
    TempDir dir;
    const auto path = dir / "w.ini";
    Sample sample;
    c.set(sample);
    ASSERT_TRUE(sample.save(path.string()));
    EXPECT_EQ(value_on_disk(path, c.key), std::optional<std::string>(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WrittenAs,
    ::testing::Values(
        WriteCase{"integer", ',', [](Sample& s) { s.number = 42; }, "number", "42"},
        WriteCase{"negative_integer", ',', [](Sample& s) { s.number = -7; }, "number", "-7"},
        WriteCase{"colour", ',', [](Sample& s) { s.colour = 0x00FF8040; }, "colour", "16744512"},
        WriteCase{"white", ',', [](Sample& s) { s.colour = 0xFFFFFF; }, "colour", "16777215"},
        WriteCase{"true", ',', [](Sample& s) { s.flag = true; }, "flag", "1"},
        WriteCase{"false", ',', [](Sample& s) { s.flag = false; }, "flag", "0"},
        WriteCase{"float_comma", ',', [](Sample& s) { s.single = 2.5f; }, "single", "2,5"},
        WriteCase{"float_point", '.', [](Sample& s) { s.single = 2.5f; }, "single", "2.5"},
        // The float is widened to double before it is formatted.
        WriteCase{"float_tenth", ',', [](Sample& s) { s.single = 0.1f; }, "single",
                  "0,100000001490116"},
        WriteCase{"double_comma", ',', [](Sample& s) { s.real = 1234.5; }, "real", "1234,5"},
        WriteCase{"double_point", '.', [](Sample& s) { s.real = 1234.5; }, "real", "1234.5"},
        WriteCase{"double_small", ',', [](Sample& s) { s.real = 0.0001; }, "real", "0,0001"},
        WriteCase{"double_negative", ',', [](Sample& s) { s.real = -0.25; }, "real", "-0,25"},
        WriteCase{"double_zero", ',', [](Sample& s) { s.real = 0.0; }, "real", "0"},
        WriteCase{"double_whole", '.', [](Sample& s) { s.real = 10.0; }, "real", "10"},
        WriteCase{"text", ',', [](Sample& s) { s.text = "TAHOMA"; }, "text", "\"TAHOMA\""},
        WriteCase{"text_empty", ',', [](Sample& s) { s.text = ""; }, "text", "\"\""},
        WriteCase{"text_russian", ',', [](Sample& s) { s.text = "Арланское"; }, "text",
                  "\"Арланское\""},
        WriteCase{"block_one", ',', [](Sample& s) { s.block_int = 1; }, "block_int", "01000000"},
        WriteCase{"block_order", ',', [](Sample& s) { s.block_int = 0x12345678; }, "block_int",
                  "78563412"},
        WriteCase{"block_upper", ',', [](Sample& s) { s.block_int = 0xABCDEF; }, "block_int",
                  "EFCDAB00"},
        WriteCase{"block_minus_one", ',', [](Sample& s) { s.block_int = -1; }, "block_int",
                  "FFFFFFFF"},
        WriteCase{"block_of_three", ',', [](Sample& s) { s.block = {0xAB, 0x01, 0xFF}; }, "block",
                  "AB01FF"},
        WriteCase{"atomic_integer", ',', [](Sample& s) { s.a_number = -12; }, "a_number", "-12"},
        WriteCase{"atomic_bool", ',', [](Sample& s) { s.a_flag = true; }, "a_flag", "1"},
        WriteCase{"atomic_float_comma", ',', [](Sample& s) { s.a_single = 0.75f; }, "a_single",
                  "0,75"},
        WriteCase{"atomic_float_point", '.', [](Sample& s) { s.a_single = 0.75f; }, "a_single",
                  "0.75"}),
    [](const auto& info) { return std::string(info.param.label); });

// --- reading ---------------------------------------------------------------------------

struct IntegerCase {
    const char* stored;
    std::int32_t expected;
};

class IntegerRead : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerRead, parses_or_keeps_the_value_in_memory) {
    Sample sample;
    sample.number = 99;
    sample.colour = 99;
    sample.a_number = 99;
    load_one(sample, "number", GetParam().stored);
    load_one(sample, "colour", GetParam().stored);
    load_one(sample, "a_number", GetParam().stored);
    EXPECT_EQ(sample.number, GetParam().expected);
    EXPECT_EQ(sample.colour, GetParam().expected);
    EXPECT_EQ(sample.a_number.load(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, IntegerRead,
                         ::testing::Values(IntegerCase{"42", 42}, IntegerCase{"-7", -7},
                                           IntegerCase{" 13 ", 13}, IntegerCase{"0", 0},
                                           IntegerCase{"16777215", 16777215},
                                           IntegerCase{"abc", 99}, IntegerCase{"", 99},
                                           IntegerCase{"12abc", 99}, IntegerCase{"1.5", 99},
                                           IntegerCase{"2147483648", 99}));

struct BoolCase {
    const char* stored;
    bool before;
    bool expected;
};

class BoolRead : public ::testing::TestWithParam<BoolCase> {};

TEST_P(BoolRead, nonzero_is_true_and_unparsable_keeps_the_value) {
    Sample sample;
    sample.flag = GetParam().before;
    sample.a_flag = GetParam().before;
    load_one(sample, "flag", GetParam().stored);
    load_one(sample, "a_flag", GetParam().stored);
    EXPECT_EQ(sample.flag, GetParam().expected);
    EXPECT_EQ(sample.a_flag.load(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, BoolRead,
                         ::testing::Values(BoolCase{"1", false, true}, BoolCase{"0", true, false},
                                           BoolCase{"2", false, true}, BoolCase{"-1", false, true},
                                           BoolCase{"abc", true, true},
                                           BoolCase{"abc", false, false}, BoolCase{"", true, true},
                                           BoolCase{"", false, false}));

struct RealCase {
    const char* stored;
    std::optional<double> expected;  // nothing: the value stays as it was
};

class RealRead : public ::testing::TestWithParam<std::tuple<char, RealCase>> {};

TEST_P(RealRead, accepts_comma_or_point_with_atof_semantics) {
    const auto& [separator, c] = GetParam();
    SeparatorGuard guard(separator);
    Sample sample;
    sample.single = 1.5f;
    sample.real = 0.25;
    sample.a_single = 0.5f;
    load_one(sample, "single", c.stored);
    load_one(sample, "real", c.stored);
    load_one(sample, "a_single", c.stored);
    EXPECT_FLOAT_EQ(sample.single, static_cast<float>(c.expected.value_or(1.5)));
    EXPECT_DOUBLE_EQ(sample.real, c.expected.value_or(0.25));
    EXPECT_FLOAT_EQ(sample.a_single.load(), static_cast<float>(c.expected.value_or(0.5)));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RealRead,
    ::testing::Combine(::testing::Values(',', '.'),
                       ::testing::Values(RealCase{"2,5", 2.5}, RealCase{"2.5", 2.5},
                                         RealCase{"-0,75", -0.75}, RealCase{"10", 10.0},
                                         RealCase{"x", 0.0}, RealCase{"3abc", 3.0},
                                         RealCase{"1,5,7", 1.5}, RealCase{"1e3", 1000.0},
                                         RealCase{"\"4,25\"", 4.25}, RealCase{"", std::nullopt})));

TEST(IniOptions, a_missing_key_leaves_every_value_unchanged) {
    TempDir dir;
    const auto path = dir / "other.ini";
    write_bytes(path, "[t]\r\nnumber=1\r\nflag=1\r\nreal=9\r\n");
    Sample sample;
    sample.number = 11;
    sample.flag = true;
    sample.real = 0.5;
    sample.block_int = 3;
    sample.load(path.string());
    EXPECT_EQ(sample.number, 11);
    EXPECT_TRUE(sample.flag);
    EXPECT_DOUBLE_EQ(sample.real, 0.5);
    EXPECT_EQ(sample.text, "abc");
    EXPECT_EQ(sample.block_int, 3);
    EXPECT_EQ(sample.colour, 0x00FF8040);
}

struct TextCase {
    const char* stored;
    const char* expected;
};

class TextRead : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextRead, comes_back_without_the_quotes) {
    Sample sample;
    load_one(sample, "text", GetParam().stored);
    EXPECT_EQ(sample.text, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, TextRead,
                         ::testing::Values(TextCase{"\"Arial Cyr\"", "Arial Cyr"},
                                           TextCase{"unquoted", "unquoted"},
                                           TextCase{"\"Арланское\"", "Арланское"},
                                           TextCase{"\"\"", ""}));

TEST(IniOptions, text_round_trip_keeps_inner_blanks_and_russian_letters) {
    TempDir dir;
    const auto path = dir / "t.ini";
    Sample writer;
    writer.text = "Куст 12 / скв. 3";
    ASSERT_TRUE(writer.save(path.string()));
    Sample reader;
    reader.load(path.string());
    EXPECT_EQ(reader.text, "Куст 12 / скв. 3");
}

struct BlockCase {
    const char* stored;
    std::int32_t expected;
};

class BlockRead : public ::testing::TestWithParam<BlockCase> {};

TEST_P(BlockRead, takes_exactly_two_digits_per_byte) {
    Sample sample;
    load_one(sample, "block_int", GetParam().stored);
    EXPECT_EQ(sample.block_int, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BlockRead,
    ::testing::Values(BlockCase{"01000000", 1}, BlockCase{"78563412", 0x12345678},
                      BlockCase{"FFFFFFFF", -1}, BlockCase{"ff000000", 255},
                      BlockCase{"\"02000000\"", 2},
                      // Wrong length: ignored.
                      BlockCase{"0100", kBlockDefault}, BlockCase{"0100000000", kBlockDefault},
                      BlockCase{"0100000", kBlockDefault}, BlockCase{"", kBlockDefault},
                      // Length counts the file's characters: one each for Russian letters.
                      BlockCase{"ЖЖ0000", kBlockDefault}, BlockCase{"Ж1100000", 0x1000},
                      // An invalid pair gives 0 for its byte only.
                      BlockCase{"ZZ010203", 0x03020100}, BlockCase{"01G20304", 0x04030001},
                      BlockCase{"0102031G", 0x00030201}, BlockCase{"-1-1-1-1", 0}));

TEST(IniOptions, a_block_of_three_bytes_needs_six_digits) {
    Sample sample;
    load_one(sample, "block", "AB01FF");
    EXPECT_EQ(sample.block, (std::array<std::uint8_t, 3>{0xAB, 0x01, 0xFF}));
    load_one(sample, "block", "AB01");
    EXPECT_EQ(sample.block, (std::array<std::uint8_t, 3>{0xAB, 0x01, 0xFF}));
    load_one(sample, "block", "01000000");
    EXPECT_EQ(sample.block, (std::array<std::uint8_t, 3>{0xAB, 0x01, 0xFF}));
}

// --- the sequence --------------------------------------------------------------------

TEST(IniOptions, load_and_save_call_the_hooks_around_a_fresh_registration) {
    TempDir dir;
    const auto path = dir / "h.ini";
    write_bytes(path, "[s]\r\nnumber=31\r\n");
    Sample sample;
    sample.load(path.string());
    EXPECT_EQ(sample.log, (std::vector<std::string>{"before_load", "register", "after_load"}));
    EXPECT_EQ(sample.number_seen_after_load, 31);

    sample.log.clear();
    sample.number = 32;
    ASSERT_TRUE(sample.save(path.string()));
    EXPECT_EQ(sample.log, (std::vector<std::string>{"before_save", "register", "after_save"}));
    EXPECT_EQ(sample.number_in_file_after_save, std::optional<std::string>("32"));
}

TEST(IniOptions, the_path_is_trimmed_and_an_empty_path_does_nothing) {
    TempDir dir;
    const auto path = dir / "p.ini";
    write_bytes(path, "[s]\r\nnumber=8\r\n");
    Sample sample;
    sample.load("  " + path.string() + " \t");
    EXPECT_EQ(sample.number, 8);
    EXPECT_EQ(sample.file_path(), path.string());

    sample.log.clear();
    sample.load("   ");
    EXPECT_FALSE(sample.save(""));
    EXPECT_TRUE(sample.log.empty());
    EXPECT_EQ(sample.file_path(), path.string());
}

TEST(IniOptions, a_missing_file_keeps_the_values_and_the_first_save_creates_it) {
    TempDir dir;
    const auto path = dir / "absent.ini";
    Sample sample;
    sample.number = 3;
    sample.load(path.string());
    EXPECT_EQ(sample.number, 3);
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_TRUE(sample.save(path.string()));
    EXPECT_EQ(value_on_disk(path, "number"), std::optional<std::string>("3"));
}

TEST(IniOptions, save_keeps_the_other_sections_of_the_file) {
    SeparatorGuard guard(',');
    TempDir dir;
    const auto path = dir / "k.ini";
    write_bytes(path, utf8_to_cp1251("[чужая]\r\nk=v\r\n[s]\r\nnumber=1\r\nmine=yes\r\n"));
    Sample sample;
    ASSERT_TRUE(sample.save(path.string()));
    const std::string text = cp1251_to_utf8(read_bytes(path));
    EXPECT_EQ(text.rfind("[чужая]\r\nk=v\r\n[s]\r\nnumber=7\r\nmine=yes\r\ncolour=", 0), 0u)
        << text;
}

TEST(IniOptions, a_file_written_with_one_separator_loads_with_the_other) {
    TempDir dir;
    const auto path = dir / "x.ini";
    {
        SeparatorGuard guard('.');
        Sample writer;
        writer.single = 0.375f;
        writer.real = -12.125;
        writer.a_single = 6.5f;
        ASSERT_TRUE(writer.save(path.string()));
    }
    SeparatorGuard guard(',');
    Sample reader;
    reader.load(path.string());
    EXPECT_FLOAT_EQ(reader.single, 0.375f);
    EXPECT_DOUBLE_EQ(reader.real, -12.125);
    EXPECT_FLOAT_EQ(reader.a_single.load(), 6.5f);
}

TEST(ByteBlockText, hex_helpers_agree_with_the_block_encoding) {
    const std::uint8_t bytes[] = {0x00, 0x0F, 0xF0, 0xFF};
    EXPECT_EQ(bytes_to_hex(bytes, 4), "000FF0FF");
    std::uint8_t back[4] = {9, 9, 9, 9};
    EXPECT_TRUE(hex_to_bytes("000ff0FF", back, 4));
    EXPECT_EQ(std::vector<std::uint8_t>(back, back + 4),
              std::vector<std::uint8_t>(bytes, bytes + 4));
    EXPECT_FALSE(hex_to_bytes("000FF0F", back, 4));
    EXPECT_EQ(back[3], 0xFF);
}

}  // namespace
}  // namespace vetra::settings
