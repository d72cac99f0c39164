#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>

#include "library/native_handle.h"

namespace vetra::storage {

// Copies n bytes where either side may lie in a file mapping that another process has cut
// short. False instead of the SIGBUS such an access raises; nothing else is caught.
[[nodiscard]] bool guarded_copy(void* destination, const void* source, std::size_t n);

// A file kept open and mapped shared into memory. The mapping only makes reads cheap: when it
// cannot be made, reads and writes go through the file instead. POSIX reserves address space
// beyond the end, so that a growing file needs no new mapping, and guards every access, so a
// file shortened under us shows as a failed access, never as a crash. Windows maps exactly
// the file (a larger mapping would grow it) and maps anew as it grows; it refuses to shorten
// or replace a mapped file, so the mapping is dropped for a cut and must be closed before a
// replace. The file is opened sharing deletion, so others may rename over it.
class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Opens for reading and writing (falling back to reading only), creating the file when
    // `create` is set.
    bool open(const std::filesystem::path& path, bool create);
    void close();
    bool is_open() const { return file_ != library::kInvalidHandle; }
    bool writable() const { return writable_; }
    bool mapped() const { return map_ != nullptr; }
    // Counts the opens, so a caller sees that an append had to open the file anew.
    std::uint64_t opens() const { return opens_; }

    // Whether `path` still names the open file (another program may have replaced or
    // removed it).
    bool still_at(const std::filesystem::path& path) const;
    // The size as the system sees it now; nothing when the file cannot be asked.
    std::optional<std::uint64_t> current_size() const;
    // Reads or overwrites bytes that lie inside the file; false when they do not (any more).
    [[nodiscard]] bool read(std::uint64_t offset, void* out, std::size_t n) const;
    [[nodiscard]] bool write(std::uint64_t offset, const void* bytes, std::size_t n);
    // Writes at `offset`, which lies at most n bytes before the end: a torn record there is
    // overwritten in place, never cut first, since Windows cannot shorten a file that another
    // program has mapped.
    [[nodiscard]] bool write_at_end(std::uint64_t offset, const void* bytes, std::size_t n);
    // Appends one record of n bytes at the last whole-record boundary, over a torn record
    // left there, all under an exclusive advisory lock that every appender takes, so
    // processes appending to one file never overwrite each other. Once locked, a file that
    // another program has replaced at its name meanwhile is opened again there, so no record
    // goes to a file that is gone. The record's index, or nothing; the rows before it are
    // whole either way.
    [[nodiscard]] std::optional<std::uint64_t> append_record(const void* bytes, std::size_t n);
    // The exclusive lock every appender takes, for a program that replaces the file: held
    // from its last look at the size through the rename, so no append falls between them.
    // False (and the cause noted) when it cannot be had.
    bool lock_appenders();
    void unlock_appenders();
    // Before another file is renamed over this one. POSIX drops only the mapping and keeps
    // the appenders' lock through the rename; Windows replaces no file this program holds
    // mapped or open, so it closes the file, and with it that lock.
    void prepare_for_replace();
    // Puts every write so far on the disk (those through the mapping too).
    [[nodiscard]] bool flush();
    // Why the last open or write failed.
    std::error_code error() const { return error_; }

private:
    void map_for(std::uint64_t size);
    // Keeps the platform's last error as the cause.
    void note_error();

    std::filesystem::path path_;
    std::uint64_t opens_ = 0;
    library::NativeHandle file_ = library::kInvalidHandle;
    bool writable_ = false;
    void* map_ = nullptr;
    std::size_t capacity_ = 0;
    std::error_code error_;
};

}  // namespace vetra::storage
