#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "library/native_handle.h"

namespace vetra::library {

// Temporary files of the atomic writer are named this prefix + six random characters: short,
// whatever the target's name (a long one already near the file system's 255 bytes), and
// recognisable, so the stale ones a crash leaves can be found.
inline constexpr const char* kTemporaryPrefix = ".vetra-tmp-";

// Writes a whole file so that a crash never leaves it half-written: a temporary file beside
// the target is written, flushed to disk and renamed over the target. False on any failure;
// the target is then untouched, and `error` (when given) says why.
[[nodiscard]] bool write_file_atomically(const std::filesystem::path& target,
                                         std::string_view bytes, std::error_code* error = nullptr);

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
    // The first failure's cause; empty when none was seen (or `fail` was called from outside).
    std::error_code error() const { return error_; }

private:
    // Keeps the platform's last error as the cause (when none is kept yet), then fails.
    void fail_with_last_error();

    std::filesystem::path target_;
    std::filesystem::path temp_;
    NativeHandle handle_ = kInvalidHandle;
    std::error_code error_;
};

// Removes the temporary files in `dir` that a writer which no longer runs left behind (a
// crash, a kill, a power cut): a temporary file is locked while its writer lives, so one that
// can be locked is stale. One written within the last minute is left alone, since its writer
// may not have locked it yet. Also takes the longer names older versions used. Returns how
// many were removed.
int remove_stale_temporaries(const std::filesystem::path& dir);
// Removes one temporary file unless its writer still holds it; whether it did.
bool remove_unless_held(const std::filesystem::path& temporary);
// Whether a file name is one the atomic writer gives its temporary files, today's or older.
bool is_temporary_name(std::string_view name);

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> read_whole_file(const std::filesystem::path& path);

}  // namespace vetra::library
