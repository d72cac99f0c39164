#include "analysis/etalon_storage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "library/cp1251.h"
#include "library/number_text.h"
#include "settings/ini_file.h"
#include "support/temp_dir.h"

namespace vetra::analysis {
namespace {

using Pairs = std::vector<std::pair<double, double>>;

EtalonStorage store_with(const std::vector<Pairs>& points, std::int32_t type,
                         double degassing = 1) {
    EtalonStorage store;
    std::vector<EtalonPoint> list;
    for (const auto& pairs : points) {
        list.push_back({"", 1, pairs});
    }
    store.copyPointsFrom(list);
    store.set_interpolation_type(type);
    store.setDegassing(degassing);
    return store;
}

class EtalonConcentration : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(EtalonConcentration, without_points_every_concentration_is_zero) {
    const auto store = store_with({}, GetParam());
    EXPECT_EQ(store.concentration(0, 1000), 0.0);
    EXPECT_EQ(store.concentration(3, -5), 0.0);
}

TEST_P(EtalonConcentration, one_point_is_a_line_through_the_origin_for_either_type) {
    // Gas 1 of the point: 0.5 % at area 1000.
    const auto store = store_with({{{9, 9}, {0.5, 1000}}}, GetParam());
    EXPECT_DOUBLE_EQ(store.concentration(1, 2000), 1.0);
    EXPECT_DOUBLE_EQ(store.concentration(1, 500), 0.25);
    EXPECT_DOUBLE_EQ(store.concentration(1, 0), 0.0);
}

TEST_P(EtalonConcentration, the_degassing_coefficient_multiplies_the_area) {
    const auto store = store_with({{{0.5, 1000}}}, GetParam(), 2.0);
    EXPECT_DOUBLE_EQ(store.concentration(0, 500), 0.5);
}

INSTANTIATE_TEST_SUITE_P(BothTypes, EtalonConcentration, ::testing::Values(1, 0));

TEST(EtalonConcentration, linear_runs_through_the_origin_and_continues_the_last_segment) {
    const auto store = store_with({{{0.5, 1000}}, {{1.0, 1800}}}, EtalonStorage::kLinear);
    EXPECT_DOUBLE_EQ(store.concentration(0, 2200), 1.25);
    EXPECT_DOUBLE_EQ(store.concentration(0, 500), 0.25);
    EXPECT_DOUBLE_EQ(store.concentration(0, 1400), 0.75);
}

TEST(EtalonConcentration, polynomial_goes_through_the_points_only) {
    // Two points: the line through them, not through the origin.
    const auto two = store_with({{{0.5, 1000}}, {{1.0, 1800}}}, 0);
    EXPECT_DOUBLE_EQ(two.concentration(0, 2200), 1.25);
    EXPECT_DOUBLE_EQ(two.concentration(0, 500), 0.1875);
    // Three points, Lagrange weights at 2500: -0.125, 0.75, 0.375.
    const auto three = store_with({{{0.5, 1000}}, {{1.5, 2000}}, {{2.0, 3000}}}, 0);
    EXPECT_DOUBLE_EQ(three.concentration(0, 2500), 1.8125);
    const auto linear = store_with({{{0.5, 1000}}, {{1.5, 2000}}, {{2.0, 3000}}}, 1);
    EXPECT_DOUBLE_EQ(linear.concentration(0, 2500), 1.75);
}

TEST(EtalonConcentration, a_non_finite_area_gives_zero) {
    const auto store = store_with({{{0.5, 1000}}}, EtalonStorage::kLinear);
    EXPECT_EQ(store.concentration(0, std::nan("")), 0.0);
    EXPECT_EQ(store.concentration(0, INFINITY), 0.0);
}

class EtalonFile : public ::testing::Test {
protected:
    void SetUp() override { library::set_decimal_separator('.'); }
    void TearDown() override { library::set_decimal_separator('.'); }

    test::TempDir dir;
    std::string path = (dir / "calibr.ini").string();

    void write(const std::string& utf8) { test::write_bytes(path, library::utf8_to_cp1251(utf8)); }
};

// 36526.0 (1 January 2000) as a double is 0x40E1D5C000000000; bytes low first.
constexpr const char* kDefaultDateHex = "00000000C0D5E140";

TEST_F(EtalonFile, saves_points_then_main_with_a_comma_locale) {
    library::set_decimal_separator(',');
    EtalonStorage store;
    store.copyPointsFrom({{"1 / 100", 3, {{0.005, 1234.5}, {0.0025, 800}}}});
    ASSERT_TRUE(store.save(path));
    EXPECT_EQ(test::read_bytes(path),
              "[calibration]\r\nsize=1\r\n"
              "item1=\"\"1 / 100\" 3 2 0,005 1234,5 0,0025 800\"\r\n"
              "[main]\r\ninter_type=01000000\r\nDate=" +
                  std::string(kDefaultDateHex) + "\r\ndeg_koeff=1\r\n");

    EtalonStorage back;
    back.load(path);
    ASSERT_EQ(back.points().size(), 1u);
    EXPECT_EQ(back.points()[0], store.points()[0]);
    EXPECT_EQ(back.date(), 36526.0);
}

TEST_F(EtalonFile, short_pair_lists_are_filled_up_to_the_gas_count) {
    write(
        "[calibration]\r\nsize=2\r\nitem1=\"\"1 / 10\" 2 2 0.5 1000 0.2 400\"\r\n"
        "item2=\"\"\" 1 2 1,0 1800 0,4 700\"\r\n"
        "[main]\r\ninter_type=00000000\r\nDate=0000000000C0E240\r\ndeg_koeff=1,5\r\n");
    EtalonStorage store;
    store.set_gas_count([] { return 6; });
    ASSERT_TRUE(store.load(path));
    ASSERT_EQ(store.points().size(), 2u);
    EXPECT_EQ(store.points()[0].dilution, "1 / 10");
    EXPECT_EQ(store.points()[0].repeats, 2);
    EXPECT_EQ(store.points()[0].pairs,
              (Pairs{{0.5, 1000}, {0.2, 400}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}));
    EXPECT_EQ(store.points()[1].dilution, "");
    EXPECT_EQ(store.points()[1].pairs,
              (Pairs{{1.0, 1800}, {0.4, 700}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}));
    EXPECT_EQ(store.interpolation_type(), 0);
    EXPECT_EQ(store.date(), 38400.0);  // 0x40E2C00000000000
    EXPECT_EQ(store.degassing(), 1.5);
}

TEST_F(EtalonFile, longer_pair_lists_stay_and_later_gas_counts_fill_up) {
    write("[calibration]\r\nsize=1\r\nitem1=\"a 1 3 1 10 2 20 3 30\"\r\n");
    int gases = 2;
    EtalonStorage store;
    store.set_gas_count([&] { return gases; });
    store.load(path);
    EXPECT_EQ(store.points()[0].pairs, (Pairs{{1, 10}, {2, 20}, {3, 30}}));
    gases = 4;
    store.fitToGasCount();
    EXPECT_EQ(store.points()[0].pairs, (Pairs{{1, 10}, {2, 20}, {3, 30}, {0, 0}}));
}

TEST_F(EtalonFile, a_missing_file_or_size_leaves_everything_as_it_was) {
    EtalonStorage store;
    store.copyPointsFrom({{"x", 1, {{1, 2}}}});
    store.setDegassing(3);
    store.set_gas_count([] { return 5; });
    EXPECT_TRUE(store.load((dir / "absent.ini").string()));
    write("[calibration]\r\nitem1=\"y 1 1 5 6\"\r\n[main]\r\ninter_type=0100\r\n");
    store.load(path);
    ASSERT_EQ(store.points().size(), 1u);
    EXPECT_EQ(store.points()[0].pairs.size(), 1u);  // no filling up without "size"
    EXPECT_EQ(store.degassing(), 3.0);
    EXPECT_EQ(store.interpolation_type(), 1);  // a block of the wrong length is ignored
    EXPECT_EQ(store.date(), 36526.0);
}

TEST_F(EtalonFile, missing_items_and_bad_numbers_read_as_empty_and_zero) {
    write("[calibration]\r\nsize=3\r\nitem1=\"x abc 2 1,5 zz\"\r\nitem3=\"\"\r\n");
    EtalonStorage store;
    store.load(path);
    ASSERT_EQ(store.points().size(), 3u);
    EXPECT_EQ(store.points()[0], (EtalonPoint{"x", 0, {{1.5, 0}}}));
    EXPECT_EQ(store.points()[1], EtalonPoint{});
    EXPECT_EQ(store.points()[2], EtalonPoint{});
}

TEST(EtalonPointText, a_huge_count_is_cut_to_the_fields_present) {
    EXPECT_EQ(EtalonStorage::parse_point("x 1 2000000000 1 2").pairs, (Pairs{{1, 2}}));
    EXPECT_EQ(EtalonStorage::parse_point("x 1 3 1 2 3 4 5").pairs, (Pairs{{1, 2}, {3, 4}, {5, 0}}));
    EXPECT_EQ(EtalonStorage::parse_point("x 1 1 1 2 3 4").pairs, (Pairs{{1, 2}}));
    EXPECT_TRUE(EtalonStorage::parse_point("x 1 -4 1 2").pairs.empty());
    EXPECT_EQ(EtalonStorage::parse_point("x 1 1 nan inf").pairs, (Pairs{{0, 0}}));
}

TEST_F(EtalonFile, an_absurd_size_is_capped) {
    write("[calibration]\r\nsize=2000000000\r\n");
    EtalonStorage store;
    store.load(path);
    EXPECT_EQ(store.points().size(), static_cast<std::size_t>(settings::IniList::kMaxItems));
}

TEST_F(EtalonFile, saving_replaces_stale_items_and_keeps_the_section_order) {
    write("[main]\r\ndeg_koeff=2\r\n[calibration]\r\nsize=3\r\nitem3=\"old 1 0\"\r\n");
    EtalonStorage store;
    store.copyPointsFrom({{"", 2, {{0.5, 100}}}});
    store.setDegassing(0.25);
    ASSERT_TRUE(store.save(path));
    EXPECT_EQ(test::read_bytes(path),
              "[calibration]\r\nsize=1\r\nitem1=\"\"\" 2 1 0.5 100\"\r\n"
              "[main]\r\ninter_type=01000000\r\nDate=" +
                  std::string(kDefaultDateHex) + "\r\ndeg_koeff=0.25\r\n");
    EXPECT_FALSE(store.save((dir / "no folder" / "calibr.ini").string()));
}

}  // namespace
}  // namespace vetra::analysis
