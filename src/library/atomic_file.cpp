#include "library/atomic_file.h"

#include <chrono>
#include <fstream>
#include <sstream>

#include "library/utf8_path.h"

namespace vetra::library {

bool write_file_atomically(const std::filesystem::path& target, std::string_view bytes,
                           std::error_code* error) {
    AtomicFileWriter writer(target);
    const bool ok = writer.write(bytes) && writer.commit();
    if (!ok && error != nullptr) {
        *error = writer.error();
    }
    return ok;
}

int remove_stale_temporaries(const std::filesystem::path& dir) {
    constexpr auto kYoung = std::chrono::minutes(1);
    const auto now = std::filesystem::file_time_type::clock::now();
    int removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code file_ec;
        if (!is_temporary_name(utf8_from_path(it->path().filename())) ||
            !it->is_regular_file(file_ec)) {
            continue;
        }
        const auto written = std::filesystem::last_write_time(it->path(), file_ec);
        if (!file_ec && now - written >= kYoung && remove_unless_held(it->path())) {
            ++removed;
        }
    }
    return removed;
}

bool is_temporary_name(std::string_view name) {
    if (name.rfind(kTemporaryPrefix, 0) == 0) {
        return true;
    }
    // Older versions: "." + target name + ".tmp-" + six characters.
    constexpr std::string_view kTail = ".tmp-";
    return name.size() > 1 + kTail.size() + 6 && name.front() == '.' &&
           name.substr(name.size() - 6 - kTail.size(), kTail.size()) == kTail;
}

std::optional<std::string> read_whole_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return std::move(ss).str();
}

}  // namespace vetra::library
