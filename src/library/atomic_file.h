#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "library/native_handle.h"

namespace vetra::library {

// Writes a whole file so that a crash never leaves it half-written: a temporary file beside
// the target is written, flushed to disk and renamed over the target. False on any failure;
// the target is then untouched.
[[nodiscard]] bool write_file_atomically(const std::filesystem::path& target,
                                         std::string_view bytes);

// A file written piece by piece (or by another library through `temporary_path`) that
// appears at its target only when complete: the pieces go to a temporary file beside the
// target, and `commit` flushes it and renames it over the target (MoveFileExW with
// write-through on Windows). Dropped without a
// successful commit, the temporary file is removed and the target is untouched.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::filesystem::path target);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // False once anything has failed; every later call then does nothing.
    bool ok() const { return handle_ != kInvalidHandle; }
    bool is_open() const { return ok(); }
    const std::filesystem::path& target() const { return target_; }
    std::filesystem::path temporary_path() const { return temp_; }
    bool write(std::string_view bytes);
    // Appends `length` bytes of another file from `offset` on (by the kernel where it can);
    // false, and the writer failed, when the file cannot be read that far.
    bool append_from(const std::filesystem::path& source, std::uint64_t offset,
                     std::uint64_t length);
    void fail();
    // Throws the temporary file away; the target keeps what it held.
    void discard() { fail(); }
    [[nodiscard]] bool commit();

private:
    std::filesystem::path target_;
    std::filesystem::path temp_;
    NativeHandle handle_ = kInvalidHandle;
};

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> read_whole_file(const std::filesystem::path& path);

}  // namespace vetra::library
