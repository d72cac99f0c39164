// Any byte sequence as the depth history, the rows' depth file and the gas show file: each
// reader stays within its caps, and what it read writes and reads back unchanged.
#include <cstdint>
#include <string>
#include <string_view>

#include "storage/depth_history.h"
#include "storage/row_depths.h"
#include "storage/show_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    namespace s = vetra::storage;
    const auto history = s::decode_depth_history(bytes);
    if (history.size() > s::kDepthMaxRecords) {
        __builtin_trap();
    }
    std::string again(history.size() * s::kDepthRecordSize, '\0');
    for (std::size_t i = 0; i < history.size(); ++i) {
        s::encode_depth_sample(
            history[i], reinterpret_cast<unsigned char*>(again.data()) + i * s::kDepthRecordSize);
    }
    if (s::decode_depth_history(again).size() != history.size()) {
        __builtin_trap();
    }
    const auto rows = s::decode_row_depths(bytes);
    std::string rows_again;
    for (const auto& r : rows) {
        rows_again += s::encode_row_depth(r);
    }
    if (s::decode_row_depths(rows_again) != rows) {
        __builtin_trap();
    }
    const auto shows = s::decode_shows(bytes);
    if (shows.size() > s::kMaxShows ||
        s::decode_shows(s::encode_shows(shows)).size() != shows.size()) {
        __builtin_trap();
    }
    return 0;
}
