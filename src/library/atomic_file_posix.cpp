#include "library/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vetra::library {
namespace {

int fd(NativeHandle handle) {
    return static_cast<int>(handle);
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void sync_directory(const std::filesystem::path& dir) {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(std::filesystem::path target) : target_(std::move(target)) {
    std::string temp =
        (target_.parent_path() / (std::string(kTemporaryPrefix) + "XXXXXX")).string();
    const int file = ::mkstemp(temp.data());
    if (file < 0) {
        error_ = std::error_code(errno, std::generic_category());
        return;
    }
    handle_ = file;
    temp_ = temp;
    // Held until the rename: the start-up clean-up leaves a locked temporary file alone.
    ::flock(file, LOCK_EX | LOCK_NB);
}

AtomicFileWriter::~AtomicFileWriter() {
    fail();
}

bool AtomicFileWriter::write(std::string_view bytes) {
    if (ok() && !write_all(fd(handle_), bytes)) {
        fail_with_last_error();
    }
    return ok();
}

void AtomicFileWriter::fail_with_last_error() {
    if (!error_) {
        error_ = std::error_code(errno, std::generic_category());
    }
    fail();
}

void AtomicFileWriter::fail() {
    if (ok()) {
        ::close(fd(handle_));
        handle_ = kInvalidHandle;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

bool AtomicFileWriter::commit() {
    if (!ok()) {
        return false;
    }
    const int file = fd(handle_);
    if (::fsync(file) != 0) {
        fail_with_last_error();
        return false;
    }
    // mkstemp creates 0600; keep the mode of the file being replaced, or an ordinary one.
    struct stat st {};
    ::fchmod(file, ::stat(target_.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    // Renamed while still open and locked, so the clean-up never takes it for stale.
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        fail_with_last_error();
        return false;
    }
    temp_.clear();
    ::close(file);
    handle_ = kInvalidHandle;
    sync_directory(target_.parent_path());
    return true;
}

// By the kernel when it can; through a buffer when the file systems cannot.
bool AtomicFileWriter::append_from(const std::filesystem::path& source, std::uint64_t offset,
                                   std::uint64_t length) {
    if (!ok()) {
        return false;
    }
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        fail_with_last_error();
        return false;
    }
    auto at = static_cast<off_t>(offset);
    bool kernel = true;
    char buffer[1 << 16];
    while (length > 0) {
        ssize_t n = -1;
        if (kernel) {
            n = ::copy_file_range(in, &at, fd(handle_), nullptr, static_cast<std::size_t>(length),
                                  0);
            if (n < 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernel = false;
                continue;
            }
        } else {
            n = ::pread(in, buffer, std::min<std::uint64_t>(length, sizeof buffer), at);
            if (n > 0 && !write({buffer, static_cast<std::size_t>(n)})) {
                break;
            }
            at += n > 0 ? n : 0;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        length -= static_cast<std::uint64_t>(n);
    }
    const int cause = length > 0 ? errno : 0;
    ::close(in);
    if (length > 0) {
        errno = cause != 0 ? cause : EIO;
        fail_with_last_error();
        return false;
    }
    return true;
}

bool remove_unless_held(const std::filesystem::path& temporary) {
    const int file = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (file < 0) {
        return false;
    }
    struct stat open_file {};
    struct stat named {};
    // Still the same file once locked: its writer may have renamed it into place meanwhile.
    const bool removed = ::flock(file, LOCK_EX | LOCK_NB) == 0 && ::fstat(file, &open_file) == 0 &&
                         S_ISREG(open_file.st_mode) && ::lstat(temporary.c_str(), &named) == 0 &&
                         named.st_dev == open_file.st_dev && named.st_ino == open_file.st_ino &&
                         ::unlink(temporary.c_str()) == 0;
    ::close(file);
    return removed;
}

}  // namespace vetra::library
