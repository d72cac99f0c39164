#include "storage/mapped_file.h"

namespace vetra::storage {

std::optional<std::uint64_t> MappedFile::append_record(const void* bytes, std::size_t n) {
    if (!writable_ || n == 0) {
        error_ = std::make_error_code(std::errc::bad_file_descriptor);
        return std::nullopt;
    }
    if (!lock_appenders()) {
        return std::nullopt;
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
