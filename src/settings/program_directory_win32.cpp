#include "settings/program_directory.h"

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "library/utf8_path.h"

namespace vetra::settings {
namespace {

std::filesystem::path executable_directory() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return {};
        }
        if (n < buffer.size()) {
            return std::filesystem::path(std::wstring(buffer.data(), n)).parent_path();
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string default_program_directory() {
    const std::filesystem::path beside = executable_directory();
    if (!beside.empty() && directory_writable(library::utf8_from_path(beside))) {
        return library::utf8_from_path(beside);
    }
    if (const wchar_t* local = _wgetenv(L"LOCALAPPDATA"); local && *local) {
        return library::utf8_from_path(std::filesystem::path(local) / L"vetra");
    }
    return ".";
}

// Access rights on Windows are best learnt by trying: a probe file that is deleted on close.
bool directory_writable(const std::string& directory) {
    const std::filesystem::path probe =
        library::path_from_utf8(directory) /
        (L".vetra-probe-" + std::to_wstring(::GetCurrentProcessId()));
    HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(file);
    return true;
}

}  // namespace vetra::settings
