#include "library/atomic_file.h"

#include <fcntl.h>
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
    const std::filesystem::path dir = target_.parent_path();
    std::string temp = (dir / ("." + target_.filename().string() + ".tmp-XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd >= 0) {
        handle_ = fd;
        temp_ = temp;
    }
}

AtomicFileWriter::~AtomicFileWriter() {
    fail();
}

bool AtomicFileWriter::write(std::string_view bytes) {
    if (ok() && !write_all(fd(handle_), bytes)) {
        fail();
    }
    return ok();
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
    bool synced = ::fsync(file) == 0;
    // mkstemp creates 0600; keep the mode of the file being replaced, or an ordinary one.
    struct stat st {};
    ::fchmod(file, ::stat(target_.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    const bool closed = ::close(file) == 0;
    handle_ = kInvalidHandle;
    if (!synced || !closed || ::rename(temp_.c_str(), target_.c_str()) != 0) {
        fail();
        return false;
    }
    temp_.clear();
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
        fail();
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
    ::close(in);
    if (length > 0) {
        fail();
        return false;
    }
    return true;
}

}  // namespace vetra::library
