// Any bytes as "gsumm.dat": the loader keeps to its caps, never crashes, and what it loaded
// saves and loads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "storage/totalizer_file.h"

using namespace vetra::analysis;
using namespace vetra::storage;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TotalizerLog log;
    log.append(1.0, 1.0f, 0.0f);
    const TotalizerLoad verdict =
        load_totalizer_bytes(log, std::string_view(reinterpret_cast<const char*>(data), size));
    if (log.size() > kTotalizerLogCapacity || log.channel_count() < 1 ||
        log.channel_count() > kMaxTotalizerChannels) {
        std::abort();
    }
    if (verdict != TotalizerLoad::loaded && log.size() != 1) {
        std::abort();  // a file that is not loaded leaves the log alone
    }
    if (verdict == TotalizerLoad::loaded && !log.empty()) {
        TotalizerLog again;
        if (load_totalizer_bytes(again, encode_totalizer_log(log)) != TotalizerLoad::loaded ||
            again.size() != log.size() || again.channel_count() != log.channel_count()) {
            std::abort();
        }
    }
    return 0;
}
