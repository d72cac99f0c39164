#include "storage/mapped_file.h"

namespace vetra::storage {

std::optional<std::uint64_t> MappedFile::append_record(const void* bytes, std::size_t n) {
    if (!writable_ || n == 0) {
        error_ = std::make_error_code(std::errc::bad_file_descriptor);
        return std::nullopt;
    }
    // A remover renames its copy over the file while holding this lock, so a waiter may wake
    // up holding a file that is no longer at the name. Each round waits for one replace by
    // another program, so only one replacing without pause could keep an appender here long.
    constexpr int kRounds = 1000;
    for (int round = 0;; ++round) {
        if (!lock_appenders()) {
            return std::nullopt;
        }
        if (still_at(path_)) {
            break;
        }
        unlock_appenders();
        const std::filesystem::path path = path_;
        if (round == kRounds || !open(path, true) || !writable_) {
            if (!error_) {
                error_ = std::make_error_code(std::errc::device_or_resource_busy);
            }
            return std::nullopt;
        }
    }
    std::optional<std::uint64_t> index;
    const auto size = current_size();
    if (!size) {
        note_error();
    } else if (write_at_end(*size / n * n, bytes, n)) {
        index = *size / n;
    }
    unlock_appenders();
    return index;
}

}  // namespace vetra::storage
