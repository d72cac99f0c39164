#include "library/atomic_file.h"

#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "library/utf8_path.h"

namespace vetra::library {
namespace {

HANDLE handle_of(NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

bool write_all(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD put = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &put, nullptr) || put == 0) {
            return false;
        }
        bytes.remove_prefix(put);
    }
    return true;
}

std::wstring random_suffix() {
    static thread_local std::mt19937 random{std::random_device{}()};
    static constexpr wchar_t kDigits[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
    std::wstring suffix(6, L'0');
    for (auto& c : suffix) {
        c = kDigits[random() % 36];
    }
    return suffix;
}

}  // namespace

// Deletion is shared so that the file can be renamed and removed while it is open, writing
// so that a library given `temporary_path` can write the file itself.
AtomicFileWriter::AtomicFileWriter(std::filesystem::path target) : target_(std::move(target)) {
    const std::filesystem::path dir = target_.parent_path();
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::filesystem::path temp =
            dir / (path_from_utf8(kTemporaryPrefix).wstring() + random_suffix());
        HANDLE file = ::CreateFileW(temp.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            handle_ = reinterpret_cast<NativeHandle>(file);
            temp_ = std::move(temp);
            return;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    error_ = std::error_code(static_cast<int>(::GetLastError()), std::system_category());
}

AtomicFileWriter::~AtomicFileWriter() {
    fail();
}

bool AtomicFileWriter::write(std::string_view bytes) {
    if (ok() && !write_all(handle_of(handle_), bytes)) {
        fail_with_last_error();
    }
    return ok();
}

void AtomicFileWriter::fail_with_last_error() {
    if (!error_) {
        error_ = std::error_code(static_cast<int>(::GetLastError()), std::system_category());
    }
    fail();
}

void AtomicFileWriter::fail() {
    if (ok()) {
        ::CloseHandle(handle_of(handle_));
        handle_ = kInvalidHandle;
    }
    if (!temp_.empty()) {
        ::DeleteFileW(temp_.c_str());
        temp_.clear();
    }
}

bool AtomicFileWriter::commit() {
    if (!ok()) {
        return false;
    }
    const bool flushed = ::FlushFileBuffers(handle_of(handle_)) != 0;
    const DWORD cause = flushed ? 0 : ::GetLastError();
    ::CloseHandle(handle_of(handle_));
    handle_ = kInvalidHandle;
    if (!flushed) {
        ::SetLastError(cause);
        fail_with_last_error();
        return false;
    }
    // Refused while someone holds the target open without sharing deletion (and, for the
    // results table, while it is mapped): the caller closes its own mapping first.
    if (!::MoveFileExW(temp_.c_str(), target_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        fail_with_last_error();
        return false;
    }
    temp_.clear();
    return true;
}

bool AtomicFileWriter::append_from(const std::filesystem::path& source, std::uint64_t offset,
                                   std::uint64_t length) {
    if (!ok()) {
        return false;
    }
    HANDLE in = ::CreateFileW(source.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        fail_with_last_error();
        return false;
    }
    static constexpr DWORD kChunk = 1 << 16;
    std::string buffer(kChunk, '\0');
    while (length > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        const auto want = static_cast<DWORD>(std::min<std::uint64_t>(length, kChunk));
        if (!::ReadFile(in, buffer.data(), want, &got, &at) || got == 0 ||
            !write({buffer.data(), got})) {
            break;
        }
        offset += got;
        length -= got;
    }
    const DWORD cause = length > 0 ? ::GetLastError() : 0;
    ::CloseHandle(in);
    if (length > 0) {
        ::SetLastError(cause != 0 ? cause : ERROR_HANDLE_EOF);
        fail_with_last_error();
        return false;
    }
    return true;
}

// A live writer holds its temporary file open until it has been renamed, so one that opens
// with no sharing at all is stale; it goes when that handle closes.
bool remove_unless_held(const std::filesystem::path& temporary) {
    HANDLE file = ::CreateFileW(temporary.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(file);
    return true;
}

}  // namespace vetra::library
