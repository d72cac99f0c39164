// Any bytes as the external totalizer's line: reading packets one try after another neither
// crashes nor reads past the input, and every packet taken has a zero check sum.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "link/totalizer_device.h"

using namespace vetra::link;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    const PacketReader read = [&](std::uint8_t* buffer, std::size_t n, std::size_t& count) {
        count = 0;
        while (count < n && at < size) {
            buffer[count++] = data[at++];
        }
        return true;
    };
    while (at < size) {
        const std::size_t before = at;
        TotalizerSummary s;
        if (read_totalizer_packet(read, s)) {
            unsigned sum = 0;
            for (std::size_t i = at - kTotalizerPacketSize; i < at; ++i) {
                sum += data[i];
            }
            if (sum % 256 != 0 || (s.mantissa == 0 && s.main_reading != 0)) {
                std::abort();
            }
        }
        if (at == before) {
            std::abort();  // every try consumes at least one byte
        }
    }
    return 0;
}
