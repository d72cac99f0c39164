#include "analysis/gaz_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/cp1251.h"
#include "library/number_text.h"
#include "settings/ini_file.h"
#include "support/temp_dir.h"

namespace vetra::analysis {
namespace {

class GazListFile : public ::testing::Test {
protected:
    void SetUp() override {
        library::set_decimal_separator('.');
        gases.changed.connect([this] { ++notifications; });
    }
    void TearDown() override { library::set_decimal_separator('.'); }

    void load(const std::string& utf8) {
        test::write_bytes(library::path_from_utf8(path), library::utf8_to_cp1251(utf8));
        gases.load(path);
    }

    test::TempDir dir;
    std::string path = library::utf8_from_path(dir / "хроматограф.ini");
    GazList gases;
    int notifications = 0;
};

void expect_gas(const GazOption& g, const std::string& name, const std::string& code, float start,
                float end, std::int32_t colour) {
    EXPECT_EQ(g.name, name);
    EXPECT_EQ(g.code, code);
    EXPECT_EQ(g.start, start) << name;
    EXPECT_EQ(g.end, end) << name;
    EXPECT_EQ(g.work_start, start) << name;
    EXPECT_EQ(g.work_end, end) << name;
    EXPECT_EQ(g.colour, colour) << name;
}

void expect_defaults(const GazList& gases) {
    ASSERT_EQ(gases.count(), 6);
    expect_gas(gases.gas(0), "метан", "C1", 10, 15, 255);
    expect_gas(gases.gas(1), "этан", "C2", 17, 20, 16711680);
    expect_gas(gases.gas(2), "пропан", "C3", 34, 40, 32768);
    expect_gas(gases.gas(3), "бутан", "C4", 48, 54, 32896);
    expect_gas(gases.gas(4), "пентан", "C5", 60, 65, 16711935);
    expect_gas(gases.gas(5), "гексан", "C6", 70, 75, 0);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(gases.gas(i).spare1, 0.0);
        EXPECT_EQ(gases.gas(i).spare2, 100.0);
    }
}

TEST_F(GazListFile, a_new_list_holds_the_six_default_gases) {
    expect_defaults(gases);
}

TEST_F(GazListFile, size_zero_gives_the_defaults_and_tells_the_listeners) {
    gases.resize(2);
    load("[газ]\r\nsize=0\r\nmin_gaz_value=0.0001\r\n");
    expect_defaults(gases);
    EXPECT_EQ(notifications, 1);
}

TEST_F(GazListFile, without_size_the_list_stays_and_nobody_is_told) {
    gases.resize(2);
    load("[газ]\r\nitem1=\"x X 1 2 0 0 0\"\r\n");
    EXPECT_EQ(gases.count(), 2);
    EXPECT_EQ(gases.gas(0).name, "метан");
    EXPECT_EQ(notifications, 0);
}

TEST_F(GazListFile, items_are_read_with_either_separator_and_working_windows_follow) {
    gases.gas(0).work_start = 99;  // left over from a corrected analysis
    load(
        "[газ]\r\nsize=2\r\nitem1=\"изобутан C4i 44,5 47.25 8421504 1,5 2\"\r\n"
        "item2=\"\"н пентан\" xx\"\r\n");
    ASSERT_EQ(gases.count(), 2);
    expect_gas(gases.gas(0), "изобутан", "C4i", 44.5f, 47.25f, 8421504);
    EXPECT_EQ(gases.gas(0).spare1, 1.5);
    EXPECT_EQ(gases.gas(0).spare2, 2.0);
    // Fields missing or unreadable: empty texts and zeros, also for the second spare value.
    expect_gas(gases.gas(1), "н пентан", "xx", 0, 0, 0);
    EXPECT_EQ(gases.gas(1).spare2, 0.0);
    EXPECT_EQ(notifications, 1);
}

TEST_F(GazListFile, unparsable_or_non_finite_numbers_read_as_zero) {
    load("[газ]\r\nsize=1\r\nitem1=\"a b 1x nan $10 inf 1e999\"\r\n");
    expect_gas(gases.gas(0), "a", "b", 0, 0, 16);
    EXPECT_EQ(gases.gas(0).spare1, 0.0);
    EXPECT_EQ(gases.gas(0).spare2, 0.0);
}

TEST_F(GazListFile, saves_size_and_items_in_the_general_number_form) {
    library::set_decimal_separator(',');
    gases.setWindow(1, 16.5f, 20.25f);
    gases.gas(2).name = "изо пропан";
    gases.gas(3).code = "";
    settings::IniFile file;
    gases.save(file);
    EXPECT_EQ(file.text(),
              "[газ]\r\nsize=6\r\n"
              "item1=\"метан C1 10 15 255 0 100\"\r\n"
              "item2=\"этан C2 16,5 20,25 16711680 0 100\"\r\n"
              "item3=\"\"изо пропан\" C3 34 40 32768 0 100\"\r\n"
              "item4=\"бутан \"\" 48 54 32896 0 100\"\r\n"
              "item5=\"пентан C5 60 65 16711935 0 100\"\r\n"
              "item6=\"гексан C6 70 75 0 0 100\"\r\n");
}

TEST_F(GazListFile, a_saved_list_loads_back_the_same) {
    gases.resize(7);
    gases.gas(6) = {"гептан", "C7", 80.5f, 88.125f, 0, 0, -3.5, 1e-7, 0x00FF8040};
    ASSERT_TRUE(gases.save(path));
    GazList back;
    back.resize(1);
    back.load(path);
    ASSERT_EQ(back.count(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(GazList::item_text_of(back.gas(i)), GazList::item_text_of(gases.gas(i)));
    }
    expect_gas(back.gas(6), "гептан", "C7", 80.5f, 88.125f, 0x00FF8040);
    EXPECT_EQ(back.gas(6).spare1, -3.5);
    EXPECT_EQ(back.gas(6).spare2, 1e-7);
}

TEST(GazList, resize_appends_blank_gases_and_shortens) {
    GazList gases;
    gases.resize(8);
    ASSERT_EQ(gases.count(), 8);
    expect_gas(gases.gas(7), "", "", 0, 0, 0);
    EXPECT_EQ(gases.gas(7).spare1, 0.0);
    EXPECT_EQ(gases.gas(7).spare2, 0.0);
    gases.resize(2);
    ASSERT_EQ(gases.count(), 2);
    EXPECT_EQ(gases.gas(1).name, "этан");
    EXPECT_THROW(gases.gas(2), std::out_of_range);
}

TEST(GazList, set_window_moves_both_windows_and_reset_restores_the_configured_one) {
    GazList gases;
    gases.setWindow(1, 12, 18);
    expect_gas(gases.gas(1), "этан", "C2", 12, 18, 16711680);
    gases.gas(1).work_start = 13.5f;
    gases.gas(1).work_end = 16.25f;
    gases.resetWorkingWindows();
    EXPECT_EQ(gases.gas(1).work_start, 12.0f);
    EXPECT_EQ(gases.gas(1).work_end, 18.0f);
    gases.setWindow(6, 1, 2);  // outside the list: nothing happens
    gases.setWindow(-1, 1, 2);
    EXPECT_EQ(gases.count(), 6);
    expect_gas(gases.gas(5), "гексан", "C6", 70, 75, 0);
}

TEST(GazWindows, an_overlap_is_more_than_a_shared_edge_and_is_found_in_list_order) {
    std::vector<GazOption> gases = GazList::default_gases();
    EXPECT_FALSE(find_window_overlap(gases));
    gases[1].start = 15;  // touches methane's end: one boundary sample, not a peak
    EXPECT_FALSE(find_window_overlap(gases));
    gases[5].start = gases[5].end = 12;  // an empty window takes no samples
    EXPECT_FALSE(find_window_overlap(gases));
    gases[0].end = 33;  // methane over ethane and propane
    const auto overlap = find_window_overlap(gases);
    ASSERT_TRUE(overlap);
    EXPECT_EQ(overlap->first, 0);
    EXPECT_EQ(overlap->second, 1);
    gases[0].end = 15;
    gases[4].start = 39.5f;  // pentane into propane's end, listed after it
    ASSERT_TRUE(find_window_overlap(gases));
    EXPECT_EQ(find_window_overlap(gases)->first, 2);
    EXPECT_EQ(find_window_overlap(gases)->second, 4);

    library::set_decimal_separator(',');
    EXPECT_EQ(window_overlap_message(gases[2], gases[4]),
              "Время выхода газа пропан (34 - 40 с) пересекается со временем выхода газа "
              "пентан (39,5 - 65 с). Пик одного газа вошёл бы в расчёт другого.");
    library::set_decimal_separator('.');
}

TEST(GazWindows, a_move_is_refused_only_into_a_window_it_did_not_overlap_already) {
    std::vector<GazOption> gases = GazList::default_gases();
    EXPECT_EQ(new_window_overlap(gases, 0, 10, 18), 1);  // into ethane
    EXPECT_EQ(new_window_overlap(gases, 1, 12, 18), 0);  // into methane
    EXPECT_FALSE(new_window_overlap(gases, 1, 15, 33));  // up to both edges
    EXPECT_FALSE(new_window_overlap(gases, 6, 0, 100));  // no such gas
    // Loaded overlapping methane and ethane: methane may shrink step by step, not grow
    // into propane.
    gases[0].end = 33;
    EXPECT_FALSE(new_window_overlap(gases, 0, 10, 32));
    EXPECT_EQ(new_window_overlap(gases, 0, 10, 35), 2);
    EXPECT_FALSE(new_window_overlap(gases, 1, 17, 21));
}

TEST(KnownGases, give_the_code_of_a_known_name_only) {
    EXPECT_EQ(known_gas_code("метан"), "C1");
    EXPECT_EQ(known_gas_code("декан"), "C10");
    EXPECT_EQ(known_gas_code("изобутан"), "C4i");
    EXPECT_EQ(known_gas_code("изогексан"), "C6i");
    EXPECT_EQ(known_gas_code("Метан"), "");
    EXPECT_EQ(known_gas_code(""), "");
    EXPECT_EQ(known_gases().size(), 15u);
}

TEST(KnownGases, the_gas_list_code_comes_first_and_the_known_names_fill_in) {
    GazList gases;
    gases.resize(3);
    gases.gas(0).name = "Метан";
    gases.gas(0).code = "C1";
    gases.gas(1).name = "этан";
    gases.gas(1).code = "Э2";      // the operator's own code wins over the known one
    gases.gas(2).name = "пропан";  // no code typed: the known one
    EXPECT_EQ(gas_code(gases, "Метан"), "C1");
    EXPECT_EQ(gas_code(gases, "этан"), "Э2");
    EXPECT_EQ(gas_code(gases, "пропан"), "C3");
    EXPECT_EQ(gas_code(gases, "бутан"), "C4");  // not in the list at all
    EXPECT_EQ(gas_code(gases, "н-бутан"), "");
    EXPECT_EQ(gas_name_of_key("н-бутан_абс"), "н-бутан");
    EXPECT_EQ(gas_name_of_key("метан_отн"), "метан");
    EXPECT_EQ(gas_name_of_key("сумм_газ"), "сумм_газ");
}

}  // namespace
}  // namespace vetra::analysis
