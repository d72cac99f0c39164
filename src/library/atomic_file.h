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
// target, and `commit` flushes it and renames it over the target. Dropped without a
// successful commit, the temporary file is removed and the target is untouched.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::filesystem::path target);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // False once anything has failed; every later call then does nothing.
    bool ok() const { return fd_ >= 0; }
    bool is_open() const { return ok(); }
    const std::filesystem::path& target() const { return target_; }
    std::filesystem::path temporary_path() const { return temp_; }
    bool write(std::string_view bytes);
    // The open temporary file, for copies made by the kernel; report their failure with fail().
    int fd() const { return fd_; }
    void fail();
    // Throws the temporary file away; the target keeps what it held.
    void discard() { fail(); }
    [[nodiscard]] bool commit();

private:
    std::filesystem::path target_;
    std::string temp_;
    int fd_ = -1;
};

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> read_whole_file(const std::filesystem::path& path);

}  // namespace vetra::library
