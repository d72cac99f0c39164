// The WITS level 0 reader takes whatever the rig's network sends: pieces of any size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "link/wits0.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vetra::link::WitsParser parser([](const vetra::link::WitsItem& item) {
        if (item.value.size() > vetra::link::WitsParser::kMaxLine || item.record > 99 ||
            item.item > 99 || item.record < 0 || item.item < 0) {
            std::abort();
        }
        (void)vetra::link::wits_depth_value(item.value);
    });
    // The first byte chooses the piece size, so packets split anywhere get tried.
    const std::size_t piece = size ? (data[0] % 16) + 1 : 1;
    for (std::size_t at = 1; at < size; at += piece) {
        parser.feed(std::span<const std::uint8_t>(data + at, std::min(piece, size - at)));
    }
    return 0;
}
