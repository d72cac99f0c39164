#pragma once

#include <filesystem>
#include <mutex>

namespace vetra::library {

// A lock that is either an in-process critical section (recursive, as the platform's
// critical sections are) or a named system mutex shared between processes. The named form
// is an exclusive `flock` on a file; the in-process mutex is taken as well, so that threads
// of one process exclude each other too.
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

    [[nodiscard]] bool is_named() const { return fd_ >= 0; }

private:
    std::recursive_mutex mutex_;
    int fd_ = -1;
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
