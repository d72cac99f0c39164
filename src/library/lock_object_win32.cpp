#include "library/lock_object.h"

#include <windows.h>

namespace vetra::library {
namespace {

HANDLE handle_of(NativeHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

// The whole file, however long, as one byte range.
bool lock_file(NativeHandle file, DWORD flags) {
    OVERLAPPED at{};
    return ::LockFileEx(handle_of(file), flags, 0, MAXDWORD, MAXDWORD, &at) != 0;
}

}  // namespace

LockObject::LockObject(std::filesystem::path lock_file) {
    HANDLE file = ::CreateFileW(lock_file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        file_ = reinterpret_cast<NativeHandle>(file);
    }
}

LockObject::~LockObject() {
    if (file_ != kInvalidHandle) {
        ::CloseHandle(handle_of(file_));  // releases the file lock too
    }
}

void LockObject::lock() {
    mutex_.lock();
    if (file_ != kInvalidHandle && depth_++ == 0) {
        lock_file(file_, LOCKFILE_EXCLUSIVE_LOCK);
    }
}

void LockObject::unlock() {
    if (file_ != kInvalidHandle && --depth_ == 0) {
        OVERLAPPED at{};
        ::UnlockFileEx(handle_of(file_), 0, MAXDWORD, MAXDWORD, &at);
    }
    mutex_.unlock();
}

bool LockObject::try_lock() {
    if (!mutex_.try_lock()) {
        return false;
    }
    if (file_ != kInvalidHandle && depth_ == 0 &&
        !lock_file(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY)) {
        mutex_.unlock();
        return false;
    }
    if (file_ != kInvalidHandle) {
        ++depth_;
    }
    return true;
}

}  // namespace vetra::library
