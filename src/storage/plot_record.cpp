#include "storage/plot_record.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "library/cp1251.h"

namespace vetra::storage {
namespace {

constexpr std::size_t kPointBytes = 24;

template <typename T>
void put(std::ostream& out, T value) {
    std::array<char, sizeof(T)> bytes;
    std::memcpy(bytes.data(), &value, sizeof(T));
    out.write(bytes.data(), bytes.size());
}

template <typename T>
T take(const char* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

// False (and the stream failed) when the bytes are not all there.
template <typename T>
bool get(std::istream& in, T& value) {
    std::array<char, sizeof(T)> bytes;
    if (!in.read(bytes.data(), bytes.size())) {
        return false;
    }
    value = take<T>(bytes.data());
    return true;
}

void put_text(std::ostream& out, const std::string& utf8) {
    std::string bytes = library::utf8_to_cp1251(utf8);
    if (const auto zero = bytes.find('\0'); zero != std::string::npos) {
        bytes.resize(zero);
    }
    if (bytes.size() > static_cast<std::size_t>(kMaxTextBytes)) {
        bytes.resize(kMaxTextBytes);
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size() + 1));  // with its zero
}

// Up to 255 bytes and their zero byte; a longer text fails the stream.
bool get_text(std::istream& in, std::string& utf8) {
    std::string bytes;
    for (;;) {
        const int c = in.get();
        if (c == std::char_traits<char>::eof()) {
            return false;
        }
        if (c == 0) {
            break;
        }
        if (bytes.size() == static_cast<std::size_t>(kMaxTextBytes)) {
            in.setstate(std::ios::failbit);
            return false;
        }
        bytes.push_back(static_cast<char>(c));
    }
    utf8 = library::cp1251_to_utf8(bytes);
    return true;
}

bool count_fits(std::int32_t count) {
    return count >= 0 && count <= kMaxRecordCount;
}

void read_points(display::ChromatogramPlot& plot, std::istream& in, std::int32_t count) {
    const auto n = static_cast<std::size_t>(count);
    plot.points.resize(n);
    plot.seconds.resize(n);
    std::vector<char> bytes(n * kPointBytes);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const auto whole = static_cast<std::size_t>(in.gcount()) / kPointBytes;
    for (std::size_t i = 0; i < whole; ++i) {
        const char* record = bytes.data() + i * kPointBytes;
        plot.points[i] = take<double>(record + 8);
        plot.seconds[i] = take<std::int32_t>(record + 16);
    }
}

bool read_window(display::GasWindow& w, std::istream& in) {
    std::uint8_t has_result = 0;
    const bool whole = get(in, w.colour) && get(in, w.start) && get(in, w.end) &&
                       get(in, w.level) && get(in, has_result);
    if (!whole) {
        return false;
    }
    w.has_result = has_result != 0;
    return get_text(in, w.code) && get_text(in, w.value_text);
}

}  // namespace

void write_plot(const display::ChromatogramPlot& plot, std::ostream& out) {
    put_text(out, plot.message);
    put(out, plot.background);
    put(out, plot.foreground);
    const auto count = static_cast<std::int32_t>(plot.points.size());
    put(out, count);
    std::vector<char> bytes(plot.points.size() * kPointBytes, 0);
    for (std::size_t i = 0; i < plot.points.size(); ++i) {
        char* record = bytes.data() + i * kPointBytes;
        const double value = plot.points[i];
        const std::int32_t seconds = i < plot.seconds.size() ? plot.seconds[i] : 0;
        std::memcpy(record + 8, &value, sizeof value);
        std::memcpy(record + 16, &seconds, sizeof seconds);
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    put(out, static_cast<std::int32_t>(plot.windows.size()));
    for (const display::GasWindow& w : plot.windows) {
        put(out, w.colour);
        put(out, w.start);
        put(out, w.end);
        put(out, w.level);
        put(out, static_cast<std::uint8_t>(w.has_result ? 1 : 0));
        put_text(out, w.code);
        put_text(out, w.value_text);
    }
}

void read_plot(display::ChromatogramPlot& plot, std::istream& in, int max_points) {
    std::int32_t count = 0;
    if (!get_text(in, plot.message) || !get(in, plot.background) || !get(in, plot.foreground) ||
        !get(in, count) || count < 0 || count > std::max(max_points, kMaxRecordCount)) {
        return;
    }
    read_points(plot, in, count);
    if (!in || !get(in, count) || !count_fits(count)) {
        return;
    }
    plot.windows.resize(static_cast<std::size_t>(count));
    for (display::GasWindow& w : plot.windows) {
        if (!read_window(w, in)) {
            return;
        }
    }
}

}  // namespace vetra::storage
