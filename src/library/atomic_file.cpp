#include "library/atomic_file.h"

#include <fstream>
#include <sstream>

namespace vetra::library {

bool write_file_atomically(const std::filesystem::path& target, std::string_view bytes) {
    AtomicFileWriter writer(target);
    return writer.write(bytes) && writer.commit();
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
