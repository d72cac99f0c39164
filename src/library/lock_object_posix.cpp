#include "library/lock_object.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace vetra::library {
namespace {

int fd(NativeHandle handle) {
    return static_cast<int>(handle);
}

}  // namespace

LockObject::LockObject(std::filesystem::path lock_file) {
    file_ = ::open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

LockObject::~LockObject() {
    if (file_ >= 0) {
        ::close(fd(file_));  // releases the file lock too
    }
}

void LockObject::lock() {
    mutex_.lock();
    if (file_ >= 0 && depth_++ == 0) {
        while (::flock(fd(file_), LOCK_EX) != 0 && errno == EINTR) {
        }
    }
}

void LockObject::unlock() {
    if (file_ >= 0 && --depth_ == 0) {
        ::flock(fd(file_), LOCK_UN);
    }
    mutex_.unlock();
}

bool LockObject::try_lock() {
    if (!mutex_.try_lock()) {
        return false;
    }
    if (file_ >= 0 && depth_ == 0) {
        if (::flock(fd(file_), LOCK_EX | LOCK_NB) != 0) {
            mutex_.unlock();
            return false;
        }
    }
    if (file_ >= 0) {
        ++depth_;
    }
    return true;
}

}  // namespace vetra::library
