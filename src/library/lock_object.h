#pragma once

#include <filesystem>
#include <mutex>

#include "library/native_handle.h"

namespace vetra::library {

// A lock that is either an in-process critical section (recursive, as the platform's
// critical sections are) or a named system mutex shared between processes. The named form
// is an exclusive lock on a file (`flock` on POSIX, `LockFileEx` on Windows); the in-process
// mutex is taken as well, so that threads of one process exclude each other too.
class LockObject {
public:
    LockObject() = default;
    explicit LockObject(std::filesystem::path lock_file);
    ~LockObject();

    LockObject(const LockObject&) = delete;
    LockObject& operator=(const LockObject&) = delete;

    void lock();
    void unlock();
    [[nodiscard]] bool try_lock();

    [[nodiscard]] bool is_named() const { return file_ != kInvalidHandle; }

private:
    std::recursive_mutex mutex_;
    NativeHandle file_ = kInvalidHandle;
    int depth_ = 0;  // nesting of the file lock, touched only while mutex_ is held
};

// Scoped guard over a LockObject.
class ScopedLock {
public:
    explicit ScopedLock(LockObject& lock) : lock_(lock) { lock_.lock(); }
    ~ScopedLock() { lock_.unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    LockObject& lock_;
};

}  // namespace vetra::library
