#include "storage/text_data_writer.h"

#include <windows.h>

#include "library/utf8_path.h"

namespace vetra::storage {
namespace {

SYSTEMTIME system_time(const library::LocalTime& t) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(t.year);
    st.wMonth = static_cast<WORD>(t.month);
    st.wDay = static_cast<WORD>(t.day);
    st.wHour = static_cast<WORD>(t.hour);
    st.wMinute = static_cast<WORD>(t.minute);
    st.wSecond = static_cast<WORD>(t.second);
    return st;
}

std::string utf8(const wchar_t* text, int length) {
    return length > 1 ? library::utf8_from_path(std::wstring(text, length - 1)) : std::string();
}

}  // namespace

std::string system_short_date(const library::LocalTime& t) {
    const SYSTEMTIME st = system_time(t);
    wchar_t buffer[128];
    const int n = ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer,
                                    128, nullptr);
    return utf8(buffer, n);
}

std::string system_long_time(const library::LocalTime& t) {
    const SYSTEMTIME st = system_time(t);
    wchar_t buffer[128];
    const int n = ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, buffer, 128);
    return utf8(buffer, n);
}

std::error_code append_to_file(const std::filesystem::path& path, std::string_view bytes) {
    const auto cause = [] {
        return std::error_code(static_cast<int>(::GetLastError()), std::system_category());
    };
    // Locked so that the size read is where this line goes, even with a second program on
    // the same folder; a line cut short is cut off again, so the next one starts a line.
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return cause();
    }
    // One byte far past any real end: writers take turns, readers are never refused.
    OVERLAPPED turn{};
    turn.OffsetHigh = MAXDWORD;
    const bool locked = ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn);
    LARGE_INTEGER size{};
    std::error_code error;
    if (!locked || !::GetFileSizeEx(file, &size) ||
        !::SetFilePointerEx(file, size, nullptr, FILE_BEGIN)) {
        error = cause();
    }
    DWORD written = 0;
    if (!error &&
        !::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        error = cause();
    } else if (!error && written != bytes.size()) {
        error = std::make_error_code(std::errc::no_space_on_device);
    }
    if (error && locked && ::SetFilePointerEx(file, size, nullptr, FILE_BEGIN)) {
        (void)::SetEndOfFile(file);
    }
    if (locked) {
        ::UnlockFileEx(file, 0, 1, 0, &turn);
    }
    if (!::CloseHandle(file) && !error) {
        error = cause();
    }
    return error;
}

}  // namespace vetra::storage
