#include "library/atomic_file.h"

#include <fstream>
#include <sstream>

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
