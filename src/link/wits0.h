#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "library/datetime.h"

namespace vetra::link {

// One WITS level 0 data line: record and item number (four digits together) and the value.
struct WitsItem {
    int record = 0;
    int item = 0;
    std::string value;
};

// "&&", one "RRIIvalue" line per item, "!!", every line ended by CR LF. Values are ASCII.
std::string wits_packet(const std::vector<WitsItem>& items);

// A number as WITS carries it: '.' as the separator whatever the locale, at most `decimals`
// decimals, no trailing zeros; non-finite values give "-9999" (the usual absent value).
std::string wits_number(double value, int decimals);

// The item of a gas in record 12 by its code in the gas list (C1, C2, C3, C4i, C4, C5i, C5,
// C6i, C6; a Cyrillic "С" is taken for the Latin one); nullopt for gases WITS has no item for.
std::optional<int> wits_gas_item(std::string_view code);

struct WitsGas {
    std::string code;
    double percent = 0;
};

// Record 12, chromatograph cycle-based: date and time of the calculation, the depth when it
// is known (above 0), and each gas with an item in ppm (1 % = 10,000 ppm).
std::string wits_cycle_packet(const library::LocalTime& time, double depth,
                              const std::vector<WitsGas>& gases);

// Record 1, general time-based: date, time, bit depth when known, total gas in %.
std::string wits_total_gas_packet(const library::LocalTime& time, double depth,
                                  double total_gas_percent);

// Reads a WITS level 0 stream as it arrives, in pieces of any size. Items are handed on only
// when "!!" closes their packet: a packet cut short (a new "&&", a broken line) gives nothing.
// A line ending in "&&" or "!!" counts whatever stray bytes a serial line put before it. A
// line longer than a WITS line can be, garbage and unknown items are skipped, and nothing it
// keeps grows with the input.
class WitsParser {
public:
    using ItemHandler = std::function<void(const WitsItem&)>;

    explicit WitsParser(ItemHandler on_item) : on_item_(std::move(on_item)) {}

    void feed(std::span<const std::uint8_t> bytes);
    void feed(std::string_view text);

    static constexpr std::size_t kMaxLine = 128;
    // Items of one packet beyond this are dropped (a record has at most 99).
    static constexpr std::size_t kMaxItems = 256;

private:
    void end_line();

    ItemHandler on_item_;
    std::string line_;
    bool overlong_ = false;
    bool in_packet_ = false;
    std::vector<WitsItem> pending_;
};

// The depth item of the stream: hole depth (01 10) or bit depth (01 08).
enum class WitsDepthItem { hole = 110, bit = 108 };

// A depth value of a WITS line: a finite number above 1 m (as the station's depth must be),
// '.' or ',' as separator; nullopt otherwise.
std::optional<double> wits_depth_value(std::string_view value);

}  // namespace vetra::link
