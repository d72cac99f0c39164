#pragma once

#include <filesystem>
#include <string>

#include "library/utf8_path.h"

namespace vetra::test {

// A fresh directory under the system's temporary directory, removed with its contents
// when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The directory as the programs take it: with a trailing separator.
    std::string dir() const { return library::utf8_from_path(path_) + "/"; }
    std::filesystem::path operator/(const std::string& name) const {
        return path_ / library::path_from_utf8(name);
    }

private:
    std::filesystem::path path_;
};

// Writes bytes to a file (no conversion); reads a file's bytes (empty when missing).
void write_bytes(const std::filesystem::path& path, const std::string& bytes);
std::string read_bytes(const std::filesystem::path& path);

}  // namespace vetra::test
