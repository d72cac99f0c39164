#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/gaz_calculator.h"
#include "calculator_rig.h"
#include "library/number_text.h"

namespace vetra::analysis {
namespace {

using test::CalculatorRig;

// The concentration step alone: the peak value is taken as the concentration.
class ConcentrationStep : public ::testing::Test {
protected:
    void SetUp() override {
        library::set_decimal_separator('.');
        rig.calc.set_concentration_function([](int, double p) { return p; });
    }
    void TearDown() override { library::set_decimal_separator('.'); }

    void gases(int count) {
        rig.gases.resize(count);
        for (int i = 0; i < count; ++i) {
            rig.gases.gas(i).name = "g" + std::to_string(i);
            rig.gases.gas(i).code = "G" + std::to_string(i);
            rig.gases.gas(i).colour = 100 + i;
        }
    }
    void add_all(const std::vector<double>& concentrations) {
        for (std::size_t i = 0; i < concentrations.size(); ++i) {
            rig.calc.addGasResult(static_cast<int>(i), concentrations[i], 1.0);
        }
    }
    std::vector<double> concentrations() const {
        std::vector<double> out;
        for (const auto& r : rig.calc.results()) {
            out.push_back(r.concentration);
        }
        return out;
    }

    CalculatorRig rig;
};

TEST_F(ConcentrationStep, total_and_relative_values_follow_the_gas_records) {
    gases(3);
    add_all({0.5, 0.3, 0.2});
    const auto c = concentrations();
    ASSERT_EQ(c.size(), 7u);
    EXPECT_DOUBLE_EQ(c[3], 1.0);
    EXPECT_DOUBLE_EQ(c[4], 50.0);
    EXPECT_DOUBLE_EQ(c[5], 30.0);
    EXPECT_DOUBLE_EQ(c[6], 20.0);
    EXPECT_TRUE(rig.calc.ready());
}

TEST_F(ConcentrationStep, the_total_is_capped_at_100_before_the_relative_values) {
    gases(2);
    add_all({60, 70});
    const auto c = concentrations();
    ASSERT_EQ(c.size(), 5u);
    EXPECT_DOUBLE_EQ(c[2], 100.0);
    EXPECT_DOUBLE_EQ(c[3], 60.0);
    EXPECT_DOUBLE_EQ(c[4], 70.0);
}

TEST_F(ConcentrationStep, all_zero_gives_zero_everywhere_without_dividing) {
    gases(3);
    add_all({0, 0, 0});
    for (double v : concentrations()) {
        EXPECT_EQ(v, 0.0);
    }
    EXPECT_EQ(rig.calc.results()[3].description, "сумм_газ = 0%");
    EXPECT_EQ(rig.calc.results()[4].description, "g0_отн = 0%");
}

TEST_F(ConcentrationStep, values_below_the_minimum_are_zero_and_above_100_are_100) {
    gases(3);
    rig.settings.min_gaz_value = 0.0001;
    add_all({0.00005, 150, 0.0001});
    const auto& r = rig.calc.results();
    EXPECT_EQ(r[0].concentration, 0.0);
    EXPECT_EQ(r[0].description, "g0: площадь = 0.00005, конц. = 0%");
    EXPECT_EQ(r[0].value_text, " 0% ");
    EXPECT_EQ(r[1].concentration, 100.0);
    EXPECT_EQ(r[2].concentration, 0.0001);  // not below the minimum
}

TEST_F(ConcentrationStep, a_concentration_that_is_not_a_number_counts_as_zero) {
    gases(3);
    rig.calc.set_concentration_function([](int g, double) {
        return g == 0 ? std::nan("") : g == 1 ? INFINITY : 0.4;
    });
    add_all({1, 1, 1});
    const auto c = concentrations();
    ASSERT_EQ(c.size(), 7u);
    EXPECT_EQ(c[0], 0.0);
    EXPECT_EQ(c[1], 0.0);
    EXPECT_DOUBLE_EQ(c[3], 0.4);
    EXPECT_DOUBLE_EQ(c[6], 100.0);
}

TEST_F(ConcentrationStep, the_records_read_as_the_station_and_the_display_expect) {
    rig.gases.resize(1);  // метан
    rig.calc.set_concentration_function([](int g, double area) {
        EXPECT_EQ(g, 0);
        EXPECT_EQ(area, 1234.5);
        return 0.0512;
    });
    rig.calc.addGasResult(0, 1234.5, 17.25);
    const auto& r = rig.calc.results();
    ASSERT_EQ(r.size(), 3u);

    EXPECT_EQ(r[0].name, "метан");
    EXPECT_EQ(r[0].description, "метан: площадь = 1234.5, конц. = 0.0512%");
    EXPECT_EQ(r[0].value_text, " 0.0512% ");
    EXPECT_EQ(r[0].key, "метан_абс");
    EXPECT_EQ(r[0].code, "C1");
    EXPECT_EQ(r[0].colour, 255);
    EXPECT_EQ(r[0].area, 1234.5);
    EXPECT_EQ(r[0].peak_max, 17.25);
    EXPECT_FALSE(r[0].derived);

    EXPECT_EQ(r[1].name, "сумм_газ");
    EXPECT_EQ(r[1].key, "сумм_газ");
    EXPECT_EQ(r[1].code, "GS");
    EXPECT_EQ(r[1].colour, 0);
    EXPECT_EQ(r[1].description, "сумм_газ = 0.0512%");
    EXPECT_EQ(r[1].value_text, "");
    EXPECT_TRUE(r[1].derived);

    EXPECT_EQ(r[2].name, "метан_отн");
    EXPECT_EQ(r[2].key, "метан_отн");
    EXPECT_EQ(r[2].code, "C1r");
    EXPECT_EQ(r[2].colour, 255);
    EXPECT_EQ(r[2].description, "метан_отн = 100%");
    EXPECT_EQ(r[2].area, 0.0);
    EXPECT_DOUBLE_EQ(r[2].concentration, 100.0);
    EXPECT_TRUE(r[2].derived);
}

TEST_F(ConcentrationStep, relative_values_pair_with_the_same_gas_when_the_order_differs) {
    gases(2);
    rig.calc.addGasResult(1, 0.1, 2.0);  // the later gas's window ended first
    EXPECT_FALSE(rig.calc.ready());
    rig.calc.addGasResult(0, 0.3, 3.0);
    const auto& r = rig.calc.results();
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].name, "g1");
    EXPECT_EQ(r[1].name, "g0");
    EXPECT_EQ(r[3].name, "g0_отн");
    EXPECT_EQ(r[3].colour, 100);
    EXPECT_DOUBLE_EQ(r[3].concentration, 75.0);
    EXPECT_EQ(r[4].name, "g1_отн");
    EXPECT_EQ(r[4].code, "G1r");
    EXPECT_DOUBLE_EQ(r[4].concentration, 25.0);
}

TEST_F(ConcentrationStep, a_gas_index_outside_the_list_is_ignored) {
    gases(1);
    rig.calc.addGasResult(1, 1, 1);
    rig.calc.addGasResult(-1, 1, 1);
    EXPECT_TRUE(rig.calc.results().empty());
}

// --- the calculation block --------------------------------------------------------------

std::string block(std::int32_t count, const std::vector<std::vector<double>>& entries) {
    std::string out("CALC\0", 5);
    out.append(reinterpret_cast<const char*>(&count), 4);
    for (const auto& e : entries) {
        for (double v : e) {
            out.append(reinterpret_cast<const char*>(&v), 8);
        }
    }
    return out;
}

TEST_F(ConcentrationStep, the_calculation_block_holds_each_gas_and_zeros_for_the_missing) {
    gases(3);
    std::ostringstream empty;
    rig.calc.writeCalcBlock(empty);
    EXPECT_EQ(empty.str(), block(3, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}));
    EXPECT_EQ(empty.str().size(), 5u + 4u + 3u * 24u);

    rig.calc.addGasResult(2, 0.25, 7.5);  // out of order, and gas 1 still missing
    rig.calc.addGasResult(0, 0.5, 9.0);
    std::ostringstream partial;
    rig.calc.writeCalcBlock(partial);
    EXPECT_EQ(partial.str(), block(3, {{0.5, 0.5, 9.0}, {0, 0, 0}, {0.25, 0.25, 7.5}}));

    rig.calc.addGasResult(1, 2.0, 4.0);
    std::ostringstream full;
    rig.calc.writeCalcBlock(full);
    EXPECT_EQ(full.str(), block(3, {{0.5, 0.5, 9.0}, {2.0, 2.0, 4.0}, {0.25, 0.25, 7.5}}));
}

}  // namespace
}  // namespace vetra::analysis
