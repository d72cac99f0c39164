#include "library/lock_object.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace vetra::library {

LockObject::LockObject(std::filesystem::path lock_file) {
    fd_ = ::open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

LockObject::~LockObject() {
    if (fd_ >= 0) {
        ::close(fd_);  // releases the file lock too
    }
}

void LockObject::lock() {
    mutex_.lock();
    if (fd_ >= 0 && depth_++ == 0) {
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
}

void LockObject::unlock() {
    if (fd_ >= 0 && --depth_ == 0) {
        ::flock(fd_, LOCK_UN);
    }
    mutex_.unlock();
}

bool LockObject::try_lock() {
    if (!mutex_.try_lock()) {
        return false;
    }
    if (fd_ >= 0 && depth_ == 0) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            mutex_.unlock();
            return false;
        }
    }
    if (fd_ >= 0) {
        ++depth_;
    }
    return true;
}

}  // namespace vetra::library
