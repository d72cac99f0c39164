#include "link/mailslot.h"

#include <windows.h>

#include <vector>

#include "library/utf8_path.h"

namespace vetra::link {
namespace {

HANDLE handle_of(library::NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::filesystem::path wide(std::string_view name) {
    return library::path_from_utf8(name);
}

}  // namespace

bool mailslot_write(std::string_view name, std::string_view message) {
    HANDLE slot = ::CreateFileW(wide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (slot == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok = ::WriteFile(slot, message.data(), static_cast<DWORD>(message.size()), &written,
                                nullptr) != 0;
    ::CloseHandle(slot);
    return ok && written == message.size();
}

MailslotServer::MailslotServer(std::string_view name, std::size_t max_message_size)
    : max_size_(max_message_size) {
    // A read time-out of 0: a poll never waits.
    HANDLE slot =
        ::CreateMailslotW(wide(name).c_str(), static_cast<DWORD>(max_message_size), 0, nullptr);
    if (slot != INVALID_HANDLE_VALUE) {
        handle_ = reinterpret_cast<library::NativeHandle>(slot);
    }
}

MailslotServer::~MailslotServer() {
    if (is_valid()) {
        ::CloseHandle(handle_of(handle_));
    }
}

std::optional<std::string> MailslotServer::read_next() {
    if (!is_valid()) {
        return std::nullopt;
    }
    for (;;) {
        DWORD next_size = 0;
        DWORD waiting = 0;
        if (!::GetMailslotInfo(handle_of(handle_), nullptr, &next_size, &waiting, nullptr) ||
            next_size == MAILSLOT_NO_MESSAGE) {
            return std::nullopt;
        }
        std::vector<char> buffer(next_size + 1);
        DWORD got = 0;
        if (!::ReadFile(handle_of(handle_), buffer.data(), next_size, &got, nullptr)) {
            return std::nullopt;
        }
        if (got > max_size_) {
            continue;  // too long for this mailslot: dropped, the next one is read instead
        }
        return std::string(buffer.data(), got);
    }
}

}  // namespace vetra::link
