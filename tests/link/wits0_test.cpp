#include "link/wits0.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "analysis/gas_ratios.h"

namespace vetra::link {
namespace {

const library::LocalTime kTime{2026, 12, 8, 9, 5, 7, 0};

TEST(WitsPackets, a_cycle_packet_carries_the_known_gases_in_ppm_and_skips_the_others) {
    const std::vector<WitsGas> gases{{"C1", 1.25},
                                     {"C2", 0.0123},
                                     {"C3", 0},
                                     {"C4i", 0.0005},
                                     {"C7", 0.4},
                                     {"\xD0\xA1"
                                      "6",
                                      0.001},
                                     {"c5I", 0.5}};
    EXPECT_EQ(wits_cycle_packet(kTime, 1234.5, gases),
              "&&\r\n1205261208\r\n1206090507\r\n12081234.5\r\n121212500\r\n1213123\r\n"
              "12140\r\n12155\r\n122110\r\n12175000\r\n!!\r\n");
    // Unknown depth is left out rather than sent as 0.
    EXPECT_EQ(wits_cycle_packet(kTime, 0, {}), "&&\r\n1205261208\r\n1206090507\r\n!!\r\n");
}

TEST(WitsPackets, the_total_gas_packet_and_numbers_ignore_a_comma_locale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    const bool russian = std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") != nullptr;
    EXPECT_EQ(wits_total_gas_packet(kTime, 100.1, 2.5),
              "&&\r\n0105261208\r\n0106090507\r\n0108100.1\r\n01402.5\r\n!!\r\n");
    EXPECT_EQ(wits_number(-0.0001, 2), "0");
    EXPECT_EQ(wits_number(1.0 / 0.0, 2), "-9999");
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!russian) {
        GTEST_SKIP() << "ru_RU.UTF-8 is not installed";
    }
}

TEST(WitsParser, takes_items_only_inside_packets_whatever_the_pieces) {
    std::vector<std::string> seen;
    WitsParser parser([&](const WitsItem& i) {
        seen.push_back(std::to_string(i.record * 100 + i.item) + "=" + i.value);
    });
    const std::string stream =
        "0110999.0\r\n"  // before any packet: ignored
        "garbage \x01\xff\r\n&&\r\n0110  1500.25\r\n"
        "01x8 12\r\n"  // not four digits: skipped
        "0108\r\n"     // empty value is still an item
        "!!\n&&\n0110" +
        std::string(500, '7') +
        "\n"                       // overlong: dropped whole
        "0108 1499\n!!\n0110 7\n"  // after the end: ignored
        "&&\n01108888.50\n"        // a new "&&" drops the packet never closed
        "&&\r\n0108 2\r\n!!\r\n" +
        std::string(1, '\0') +
        "\x7f&&\r\n0108 3\r\n!!\r\n"  // stray bytes before "&&"
        "&&\r\n01108888.50\r\n";      // never closed: nothing
    for (const char c : stream) {
        parser.feed(std::string_view(&c, 1));
    }
    EXPECT_EQ(seen,
              (std::vector<std::string>{"110=  1500.25", "108=", "108= 1499", "108= 2", "108= 3"}));
}

TEST(WitsParser, depth_values_must_be_numbers_above_one_metre) {
    EXPECT_DOUBLE_EQ(*wits_depth_value(" 1500,25 "), 1500.25);
    EXPECT_FALSE(wits_depth_value("0.5"));
    EXPECT_FALSE(wits_depth_value("-12"));
    EXPECT_FALSE(wits_depth_value("12abc"));
    EXPECT_FALSE(wits_depth_value("nan"));
    EXPECT_FALSE(wits_depth_value(""));
}

TEST(GasRatios, hand_worked_values_and_zero_denominators) {
    using analysis::CodedValue;
    const auto g = analysis::light_gases({{"C1", 80},
                                          {"C2", 10},
                                          {"C3", 5},
                                          {"C4i", 1},
                                          {"C4", 2},
                                          {"C5i", 0.5},
                                          {"C5", 1.5},
                                          {"C6", 9}});
    const auto r = analysis::gas_ratios(g);
    EXPECT_NEAR(*r.wetness, 20.0, 1e-12);  // 20 / 100
    EXPECT_NEAR(*r.balance, 90.0 / 10.0, 1e-12);
    EXPECT_NEAR(*r.character, 5.0 / 5.0, 1e-12);
    EXPECT_NEAR(*r.c1_c2, 8.0, 1e-12);
    EXPECT_NEAR(*r.c1_c4, 80.0 / 3.0, 1e-12);
    EXPECT_EQ(analysis::fluid_character_hint(r), "нефть");

    const auto dry = analysis::gas_ratios(analysis::light_gases({{"C1", 2}}));
    EXPECT_NEAR(*dry.wetness, 0.0, 1e-12);
    EXPECT_FALSE(dry.balance);
    EXPECT_FALSE(dry.character);
    EXPECT_FALSE(dry.c1_c2);
    EXPECT_EQ(analysis::fluid_character_hint(dry), "сухой газ, непродуктивно");

    const auto none = analysis::gas_ratios({});
    for (const auto& v : analysis::ratio_values(none)) {
        EXPECT_FALSE(v);
    }
    EXPECT_EQ(analysis::fluid_character_hint(none), "");
}

// The reading changes at 0.5, 17.5 and 40 % wetness, each edge on the wetter side, and at a
// character of 0.5; codes are read as people type them.
TEST(GasRatios, each_edge_of_the_reading_and_codes_as_typed) {
    using Zone = analysis::FluidZone;
    struct Row {
        double wetness, balance, character;
        const char* hint;
        Zone zone;
    };
    const Row rows[] = {
        {0.49, 150, 0, "сухой газ, непродуктивно", Zone::dry_gas},
        {0.5, 150, 0, "газ", Zone::gas},
        {10, 20, 0.5, "газ", Zone::gas},
        {17.49, 20, 0.51, "газ с нефтью", Zone::gas},
        {17.5, 20, 0.51, "жирный газ", Zone::gas},
        {17.5, 10, 0, "нефть", Zone::oil},
        {39.99, 20, 0, "нефть", Zone::oil},
        {40, 20, 0, "остаточная нефть", Zone::residual_oil},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.wetness);
        analysis::GasRatios r;
        r.wetness = row.wetness;
        r.balance = row.balance;
        r.character = row.character;
        EXPECT_EQ(analysis::fluid_character_hint(r), row.hint);
        EXPECT_EQ(analysis::fluid_zone(r), row.zone);
    }

    const std::string cyrillic_es = "\xD1\x81", cyrillic_capital_es = "\xD0\xA1";
    const auto g = analysis::light_gases({{cyrillic_es + "4I", 1},
                                          {"C4I", 2},
                                          {"c4", 4},
                                          {cyrillic_capital_es + "5i", 8},
                                          {"C5I", 16}});
    EXPECT_EQ(g.c4, 7.0);
    EXPECT_EQ(g.c5, 24.0);
}

}  // namespace
}  // namespace vetra::link
