#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vetra::library {

// Writes a whole file so that a crash never leaves it half-written: a temporary file beside
// the target is written, flushed to disk and renamed over the target. False on any failure;
// the target is then untouched.
[[nodiscard]] bool write_file_atomically(const std::filesystem::path& target,
                                         std::string_view bytes);

// A file written piece by piece (or by another library through `temporary_path`) that
// appears at its target only when complete: the pieces go to a temporary file beside the
// target, and `commit` flushes it and renames it over the target. Until then the target
// keeps what it held; a writer that is never committed removes its temporary file.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::filesystem::path target);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // False when the temporary file could not be created (no folder, no permission).
    bool is_open() const { return fd_ >= 0; }
    const std::filesystem::path& temporary_path() const { return temporary_; }
    const std::filesystem::path& target() const { return target_; }

    [[nodiscard]] bool write(std::string_view bytes);
    // Flushes to disk and renames over the target. False on failure; the target is then
    // untouched and the temporary file gone.
    [[nodiscard]] bool commit();
    void discard();

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
};

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> read_whole_file(const std::filesystem::path& path);

}  // namespace vetra::library
