#include "storage/mapped_file.h"

#include <windows.h>

#include <cstring>

namespace vetra::storage {
namespace {

HANDLE handle_of(library::NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

OVERLAPPED at_offset(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

bool read_at(HANDLE file, std::uint64_t offset, void* out, std::size_t n) {
    auto* p = static_cast<char*>(out);
    while (n > 0) {
        OVERLAPPED at = at_offset(offset);
        DWORD got = 0;
        if (!::ReadFile(file, p, static_cast<DWORD>(n), &got, &at) || got == 0) {
            return false;
        }
        p += got;
        n -= got;
        offset += got;
    }
    return true;
}

bool write_at(HANDLE file, std::uint64_t offset, const void* bytes, std::size_t n) {
    const auto* p = static_cast<const char*>(bytes);
    while (n > 0) {
        OVERLAPPED at = at_offset(offset);
        DWORD put = 0;
        if (!::WriteFile(file, p, static_cast<DWORD>(n), &put, &at) || put == 0) {
            return false;
        }
        p += put;
        n -= put;
        offset += put;
    }
    return true;
}

bool cut_to(HANDLE file, std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) != 0;
}

std::optional<BY_HANDLE_FILE_INFORMATION> identity(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) {
        return std::nullopt;
    }
    return info;
}

}  // namespace

// Windows neither shortens nor replaces a mapped file, so the fault the POSIX guard catches
// cannot happen here.
bool guarded_copy(void* destination, const void* source, std::size_t n) {
    std::memcpy(destination, source, n);
    return true;
}

MappedFile::~MappedFile() {
    close();
}

bool MappedFile::open(const std::filesystem::path& path, bool create) {
    close();
    path_ = path;
    ++opens_;
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr,
                      create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    writable_ = file != INVALID_HANDLE_VALUE;
    error_.clear();
    if (file == INVALID_HANDLE_VALUE) {
        note_error();
        file = ::CreateFileW(path.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) {
        writable_ = false;
        return false;
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        if (!error_) {
            error_ = std::make_error_code(std::errc::is_a_directory);
        }
        ::CloseHandle(file);
        writable_ = false;
        return false;
    }
    file_ = reinterpret_cast<library::NativeHandle>(file);
    if (const auto size = current_size()) {
        map_for(*size);
    }
    return true;
}

void MappedFile::close() {
    if (map_ != nullptr) {
        ::UnmapViewOfFile(map_);
        map_ = nullptr;
        capacity_ = 0;
    }
    if (is_open()) {
        ::CloseHandle(handle_of(file_));
        file_ = library::kInvalidHandle;
    }
    writable_ = false;
}

// Exactly the file: a larger mapping would grow a writable file or fail on a read-only one.
// An empty file has no mapping. The view is for reading only: writes go through the file,
// which Windows keeps coherent with the view, so a view dropped for a remap has no dirty
// pages to write back first (under Wine that made every append cost a quarter of a second).
void MappedFile::map_for(std::uint64_t size) {
    if (map_ != nullptr && size == capacity_) {
        return;
    }
    if (map_ != nullptr) {
        ::UnmapViewOfFile(map_);
        map_ = nullptr;
        capacity_ = 0;
    }
    if (size == 0 || size > static_cast<std::uint64_t>(SIZE_MAX / 2)) {
        return;
    }
    HANDLE mapping = ::CreateFileMappingW(handle_of(file_), nullptr, PAGE_READONLY,
                                          static_cast<DWORD>(size >> 32),
                                          static_cast<DWORD>(size & 0xFFFFFFFF), nullptr);
    if (mapping == nullptr) {
        return;
    }
    // The view keeps the mapping object alive on its own.
    void* p = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size));
    ::CloseHandle(mapping);
    if (p != nullptr) {
        map_ = p;
        capacity_ = static_cast<std::size_t>(size);
    }
}

bool MappedFile::still_at(const std::filesystem::path& path) const {
    if (!is_open()) {
        return false;
    }
    // Removed by another program while open here: the name stays until the last handle goes,
    // but rows written to the file would go with it.
    FILE_STANDARD_INFO standard{};
    if (::GetFileInformationByHandleEx(handle_of(file_), FileStandardInfo, &standard,
                                       sizeof standard) &&
        standard.DeletePending) {
        return false;
    }
    HANDLE named =
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        return false;
    }
    const auto a = identity(handle_of(file_));
    const auto b = identity(named);
    ::CloseHandle(named);
    return a && b && a->dwVolumeSerialNumber == b->dwVolumeSerialNumber &&
           a->nFileIndexHigh == b->nFileIndexHigh && a->nFileIndexLow == b->nFileIndexLow;
}

std::optional<std::uint64_t> MappedFile::current_size() const {
    LARGE_INTEGER size{};
    if (!is_open() || !::GetFileSizeEx(handle_of(file_), &size)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool MappedFile::read(std::uint64_t offset, void* out, std::size_t n) const {
    if (!is_open()) {
        return false;
    }
    if (map_ != nullptr && offset + n <= capacity_) {
        return guarded_copy(out, static_cast<const char*>(map_) + offset, n);
    }
    return read_at(handle_of(file_), offset, out, n);
}

bool MappedFile::write(std::uint64_t offset, const void* bytes, std::size_t n) {
    if (!writable_) {
        return false;
    }
    // Through the file, never past its end.
    const auto size = current_size();
    return size && offset + n <= *size && write_at(handle_of(file_), offset, bytes, n);
}

// The view is only read; every write went through the handle.
bool MappedFile::flush() {
    if (!writable_ || ::FlushFileBuffers(handle_of(file_)) == 0) {
        note_error();
        return false;
    }
    return true;
}

bool MappedFile::write_at_end(std::uint64_t offset, const void* bytes, std::size_t n) {
    if (!writable_) {
        return false;
    }
    const auto size = current_size();
    if (!size) {
        note_error();
        return false;
    }
    if (*size > offset + n) {
        map_for(0);  // a mapped file cannot be cut
        if (!cut_to(handle_of(file_), offset)) {
            note_error();
            map_for(*size);
            return false;
        }
    }
    if (!write_at(handle_of(file_), offset, bytes, n)) {
        note_error();
        // Leave no torn row behind. Refused while another program maps the file; the next
        // append overwrites it then.
        map_for(0);
        (void)cut_to(handle_of(file_), offset);
        map_for(current_size().value_or(offset));
        return false;
    }
    map_for(offset + n);
    return true;
}

void MappedFile::prepare_for_replace() {
    close();
}

void MappedFile::note_error() {
    error_ = std::error_code(static_cast<int>(::GetLastError()), std::system_category());
}

// Every appender locks one byte far past any real end: appenders in several processes take
// turns, while readers, whom a lock on the data itself would refuse, go on.
namespace {

OVERLAPPED appenders_byte() {
    OVERLAPPED at{};
    at.OffsetHigh = MAXDWORD;
    return at;
}

}  // namespace

bool MappedFile::lock_appenders() {
    if (!is_open()) {
        error_ = std::make_error_code(std::errc::bad_file_descriptor);
        return false;
    }
    OVERLAPPED at = appenders_byte();
    if (!::LockFileEx(handle_of(file_), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
        note_error();
        return false;
    }
    return true;
}

void MappedFile::unlock_appenders() {
    OVERLAPPED at = appenders_byte();
    ::UnlockFileEx(handle_of(file_), 0, 1, 0, &at);
}

}  // namespace vetra::storage
