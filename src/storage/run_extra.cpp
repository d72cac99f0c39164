#include "storage/run_extra.h"

#include <bit>
#include <cstring>

#include "display/chromatogram_plot.h"

namespace vetra::storage {
namespace {

static_assert(std::endian::native == std::endian::little, "the file is written in host order");

constexpr std::string_view kMagic = "VetraRunExtra";
constexpr std::uint8_t kVersion = 1;
constexpr std::uint32_t kMaxText = 255;
constexpr std::uint32_t kMaxStamps = 1024;

class Writer {
public:
    template <typename T>
    void put(T value) {
        char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        out_.append(bytes, sizeof(T));
    }
    void text(const std::string& s) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(s.size(), kMaxText));
        put(n);
        out_.append(s.data(), n);
    }
    std::string& bytes() { return out_; }

private:
    std::string out_;
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : in_(bytes) {}
    template <typename T>
    bool get(T& value) {
        if (in_.size() < sizeof(T)) {
            return false;
        }
        std::memcpy(&value, in_.data(), sizeof(T));
        in_.remove_prefix(sizeof(T));
        return true;
    }
    bool flag(bool& value) {
        std::uint8_t b = 0;
        if (!get(b) || b > 1) {
            return false;
        }
        value = b != 0;
        return true;
    }
    bool text(std::string& s) {
        std::uint32_t n = 0;
        if (!get(n) || n > kMaxText || in_.size() < n) {
            return false;
        }
        s.assign(in_.data(), n);
        in_.remove_prefix(n);
        return true;
    }
    // A count that the rest of the bytes could hold at `each` bytes an item, and no more
    // than `limit`.
    bool count(std::uint32_t& n, std::uint32_t limit, std::size_t each) {
        return get(n) && n <= limit && n * each <= in_.size();
    }
    bool done() const { return in_.empty(); }

private:
    std::string_view in_;
};

}  // namespace

std::filesystem::path run_extra_path(const std::filesystem::path& run_file) {
    std::filesystem::path p = run_file;
    return p.replace_extension(kRunExtraExtension);
}

std::uint64_t bytes_hash(std::string_view bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : bytes) {
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return h;
}

std::string encode_run_extra(const RunExtra& e) {
    Writer w;
    w.bytes().append(kMagic);
    w.put(kVersion);
    w.put(e.run_size);
    w.put(e.run_hash);
    w.put(e.start_time);
    w.put(e.finish_time);
    w.put(e.results_time);
    w.put(e.row_stamp);
    const auto stamps =
        static_cast<std::uint32_t>(std::min<std::size_t>(e.replaced_stamps.size(), kMaxStamps));
    w.put(stamps);
    for (std::uint32_t i = 0; i < stamps; ++i) {
        w.put(e.replaced_stamps[i]);
    }
    w.put(e.rate);
    w.put(e.zero_seconds);
    w.put(static_cast<std::uint8_t>(e.window_correction));
    w.put(static_cast<std::uint8_t>(e.from_pick));
    w.put(e.min_gaz_value);
    w.put(e.depth);
    w.put(e.offset);
    w.put(static_cast<std::uint32_t>(e.patches.size()));
    for (const auto& [index, value] : e.patches) {
        w.put(index);
        w.put(value);
    }
    const auto gases =
        static_cast<std::uint32_t>(std::min<std::size_t>(e.gases.size(), kMaxRunGases));
    w.put(gases);
    for (std::uint32_t i = 0; i < gases; ++i) {
        const RunGas& g = e.gases[i];
        w.text(g.name);
        w.text(g.code);
        w.put(g.colour);
        w.put(g.start);
        w.put(g.end);
        w.put(g.computed_at);
    }
    w.put(bytes_hash(w.bytes()));
    return std::move(w.bytes());
}

std::optional<RunExtra> decode_run_extra(std::string_view bytes) {
    constexpr std::size_t kSeal = sizeof(std::uint64_t);
    if (bytes.size() < kMagic.size() + 1 + kSeal || bytes.substr(0, kMagic.size()) != kMagic) {
        return std::nullopt;
    }
    std::uint64_t seal = 0;
    std::memcpy(&seal, bytes.data() + bytes.size() - kSeal, kSeal);
    const std::string_view body = bytes.substr(0, bytes.size() - kSeal);
    if (seal != bytes_hash(body)) {
        return std::nullopt;
    }
    Reader r(body.substr(kMagic.size()));
    std::uint8_t version = 0;
    RunExtra e;
    std::uint32_t n = 0;
    if (!r.get(version) || version != kVersion || !r.get(e.run_size) || !r.get(e.run_hash) ||
        !r.get(e.start_time) || !r.get(e.finish_time) || !r.get(e.results_time) ||
        !r.get(e.row_stamp) || !r.count(n, kMaxStamps, sizeof(std::uint32_t))) {
        return std::nullopt;
    }
    e.replaced_stamps.resize(n);
    for (auto& s : e.replaced_stamps) {
        (void)r.get(s);
    }
    if (!r.get(e.rate) || !r.get(e.zero_seconds) || !r.flag(e.window_correction) ||
        !r.flag(e.from_pick) || !r.get(e.min_gaz_value) || !r.get(e.depth) || !r.get(e.offset) ||
        !r.count(n, static_cast<std::uint32_t>(display::kMaxScreenPoints), 12)) {
        return std::nullopt;
    }
    e.patches.resize(n);
    for (auto& [index, value] : e.patches) {
        (void)r.get(index);
        (void)r.get(value);
    }
    if (!r.count(n, kMaxRunGases, 28)) {
        return std::nullopt;
    }
    e.gases.resize(n);
    for (RunGas& g : e.gases) {
        if (!r.text(g.name) || !r.text(g.code) || !r.get(g.colour) || !r.get(g.start) ||
            !r.get(g.end) || !r.get(g.computed_at)) {
            return std::nullopt;
        }
    }
    if (!r.done()) {
        return std::nullopt;
    }
    return e;
}

void keep_samples(RunExtra& extra, const std::vector<double>& points,
                  const std::vector<analysis::SampleRecord>& samples, double offset) {
    extra.offset = offset;
    extra.patches.clear();
    const std::size_t n = std::min(points.size(), samples.size());
    for (std::size_t i = 0; i < n; ++i) {
        const double restored = points[i] + offset;
        const double value = samples[i].value;
        if (std::memcmp(&restored, &value, sizeof value) != 0) {
            extra.patches.emplace_back(static_cast<std::int32_t>(i), value);
        }
    }
}

std::vector<analysis::SampleRecord> restore_samples(const RunExtra& extra,
                                                    const std::vector<double>& points,
                                                    const std::vector<std::int32_t>& seconds) {
    std::vector<analysis::SampleRecord> samples(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        samples[i].value = points[i] + extra.offset;
        samples[i].seconds = i < seconds.size() ? seconds[i] : 0;
    }
    for (const auto& [index, value] : extra.patches) {
        if (index >= 0 && static_cast<std::size_t>(index) < samples.size()) {
            samples[static_cast<std::size_t>(index)].value = value;
        }
    }
    return samples;
}

}  // namespace vetra::storage
