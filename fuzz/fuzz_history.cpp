// Any byte sequence as "vetra2.history": loading must stay within 24 entries of at most 2000
// points and windows each, and what it loaded must write and read back unchanged.
#include <cstdint>
#include <string>

#include "storage/history.h"
#include "storage/plot_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vetra::storage::History first;
    first.from_bytes(std::string(reinterpret_cast<const char*>(data), size));
    if (first.count() > vetra::storage::kHistoryCapacity) {
        __builtin_trap();
    }
    for (int i = 0; i < first.count(); ++i) {
        const auto& entry = first.entry(i);
        if (entry.points.size() > vetra::storage::kMaxRecordCount ||
            entry.windows.size() > vetra::storage::kMaxRecordCount ||
            entry.seconds.size() != entry.points.size()) {
            __builtin_trap();
        }
    }
    const std::string bytes = first.to_bytes();
    vetra::storage::History second;
    second.from_bytes(bytes);
    if (second.count() != first.count() || second.to_bytes() != bytes) {
        __builtin_trap();
    }
    return 0;
}
