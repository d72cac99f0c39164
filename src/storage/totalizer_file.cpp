#include "storage/totalizer_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <system_error>

#include "library/atomic_file.h"

namespace vetra::storage {
namespace {

constexpr std::string_view kMagic = "VetraSummCurv3";
constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kHeaderSize = 23;  // magic, version, channel count, record count

// The file is little-endian, as the machines it runs on.
template <class T>
T take(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
void put(std::string& out, T v) {
    char bytes[sizeof v];
    std::memcpy(bytes, &v, sizeof v);
    out.append(bytes, sizeof v);
}

std::size_t record_size(std::int32_t channel_count) {
    return 8 + 8 * static_cast<std::size_t>(channel_count);
}

struct Header {
    TotalizerLoad verdict = TotalizerLoad::missing;
    std::int32_t channel_count = 0;
    std::int64_t record_count = 0;
    bool counts_present = false;
};

Header parse_header(std::string_view bytes) {
    Header h;
    if (bytes.size() < kMagic.size()) {
        return h;
    }
    if (bytes.substr(0, kMagic.size()) != kMagic) {
        h.verdict = TotalizerLoad::foreign;
        return h;
    }
    if (bytes.size() < kMagic.size() + 1 ||
        static_cast<std::uint8_t>(bytes[kMagic.size()]) != kVersion) {
        h.verdict = TotalizerLoad::other_version;
        return h;
    }
    h.verdict = TotalizerLoad::loaded;
    if (bytes.size() >= kHeaderSize) {
        h.channel_count = take<std::int32_t>(bytes.data() + 15);
        h.record_count = take<std::int32_t>(bytes.data() + 19);
        h.counts_present = true;
        if (!analysis::valid_totalizer_channels(h.channel_count)) {
            h.verdict = TotalizerLoad::bad_channels;
        }
    }
    return h;
}

}  // namespace

std::string encode_totalizer_log(const analysis::TotalizerLog& log) {
    const std::int32_t channels = log.channel_count();
    std::string out;
    out.reserve(kHeaderSize + log.size() * record_size(channels));
    out.append(kMagic);
    out.push_back(static_cast<char>(kVersion));
    put(out, channels);
    put(out, static_cast<std::int32_t>(log.size()));
    for (std::size_t i = 0; i < log.size(); ++i) {
        put(out, log.time(i));
        for (std::int32_t c = 0; c < channels; ++c) {
            put(out, log.value(i, c));
            put(out, log.depth(i, c));
        }
    }
    return out;
}

bool decode_totalizer_records(std::string_view records, std::int32_t channel_count,
                              std::int64_t claimed_count, analysis::TotalizerLog& log) {
    if (!analysis::valid_totalizer_channels(channel_count)) {
        return false;
    }
    const std::size_t size = record_size(channel_count);
    const auto present = static_cast<std::int64_t>(records.size() / size);
    const std::int64_t n = std::clamp<std::int64_t>(claimed_count, 0, present);
    const std::int64_t cap = static_cast<std::int64_t>(analysis::kTotalizerLogCapacity);
    const std::int64_t first = n > cap ? n - cap : 0;
    log.reset(channel_count);
    log.reserve(static_cast<std::size_t>(n - first));
    std::array<float, 2 * analysis::kMaxTotalizerChannels> pairs{};
    for (std::int64_t i = first; i < n; ++i) {
        const char* p = records.data() + static_cast<std::size_t>(i) * size;
        std::memcpy(pairs.data(), p + 8, size - 8);
        log.append_pairs(take<double>(p), pairs.data());
    }
    return true;
}

TotalizerLoad load_totalizer_bytes(analysis::TotalizerLog& log, std::string_view file) {
    const Header h = parse_header(file);
    if (h.verdict != TotalizerLoad::loaded) {
        return h.verdict;
    }
    if (!h.counts_present) {
        log.reset(log.channel_count());
        return h.verdict;
    }
    decode_totalizer_records(file.substr(kHeaderSize), h.channel_count, h.record_count, log);
    return h.verdict;
}

TotalizerLoad load_totalizer_file(analysis::TotalizerLog& log, const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return TotalizerLoad::missing;
    }
    std::string header(kHeaderSize, '\0');
    in.read(header.data(), static_cast<std::streamsize>(header.size()));
    header.resize(static_cast<std::size_t>(in.gcount()));
    const Header h = parse_header(header);
    if (h.verdict == TotalizerLoad::foreign) {
        in.close();
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return h.verdict;
    }
    if (h.verdict != TotalizerLoad::loaded || !h.counts_present) {
        return load_totalizer_bytes(log, header);
    }
    // Only the records that can be kept are read, however long the file is.
    std::error_code ec;
    const auto file_size = std::filesystem::file_size(path, ec);
    const std::size_t size = record_size(h.channel_count);
    const std::int64_t present =
        ec ? 0 : static_cast<std::int64_t>((file_size - kHeaderSize) / size);
    const std::int64_t n = std::clamp<std::int64_t>(h.record_count, 0, present);
    const std::int64_t first =
        std::max<std::int64_t>(0, n - static_cast<std::int64_t>(analysis::kTotalizerLogCapacity));
    std::string records(static_cast<std::size_t>(n - first) * size, '\0');
    in.seekg(static_cast<std::streamoff>(kHeaderSize + static_cast<std::size_t>(first) * size));
    in.read(records.data(), static_cast<std::streamsize>(records.size()));
    records.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    decode_totalizer_records(records, h.channel_count, n - first, log);
    return h.verdict;
}

bool save_totalizer_file(const analysis::TotalizerLog& log, const std::filesystem::path& path) {
    if (log.empty()) {
        return true;
    }
    return library::write_file_atomically(path, encode_totalizer_log(log));
}

}  // namespace vetra::storage
