#include "library/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

namespace vetra::library {
namespace {

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

// The names this writer used before it named its files with `kTemporaryPrefix`:
// "." + target name + ".tmp-" + six characters.
bool old_temporary_name(std::string_view name) {
    constexpr std::string_view kTail = ".tmp-";
    return name.size() > 1 + kTail.size() + 6 && name.front() == '.' &&
           name.substr(name.size() - 6 - kTail.size(), kTail.size()) == kTail;
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(std::filesystem::path target) : target_(std::move(target)) {
    temp_ = (target_.parent_path() / (std::string(kTemporaryPrefix) + "XXXXXX")).string();
    fd_ = ::mkstemp(temp_.data());
    if (fd_ < 0) {
        error_ = std::error_code(errno, std::generic_category());
        temp_.clear();
        return;
    }
    // Held until the rename: the start-up clean-up leaves a locked temporary file alone.
    ::flock(fd_, LOCK_EX | LOCK_NB);
}

AtomicFileWriter::~AtomicFileWriter() {
    fail();
}

bool AtomicFileWriter::write(std::string_view bytes) {
    if (fd_ >= 0 && !write_all(fd_, bytes)) {
        fail_with_errno();
    }
    return ok();
}

void AtomicFileWriter::fail_with_errno() {
    if (!error_) {
        error_ = std::error_code(errno, std::generic_category());
    }
    fail();
}

void AtomicFileWriter::fail() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

bool AtomicFileWriter::commit() {
    if (fd_ < 0) {
        return false;
    }
    if (::fsync(fd_) != 0) {
        fail_with_errno();
        return false;
    }
    // mkstemp creates 0600; keep the mode of the file being replaced, or an ordinary one.
    struct stat st {};
    ::fchmod(fd_, ::stat(target_.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    // Renamed while still open and locked, so the clean-up never takes it for stale.
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        fail_with_errno();
        return false;
    }
    temp_.clear();
    ::close(fd_);
    fd_ = -1;
    sync_directory(target_.parent_path());
    return true;
}

bool write_file_atomically(const std::filesystem::path& target, std::string_view bytes,
                           std::error_code* error) {
    AtomicFileWriter writer(target);
    const bool ok = writer.write(bytes) && writer.commit();
    if (!ok && error != nullptr) {
        *error = writer.error();
    }
    return ok;
}

int remove_stale_temporaries(const std::filesystem::path& dir) {
    int removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(kTemporaryPrefix, 0) != 0 && !old_temporary_name(name)) {
            continue;
        }
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        struct stat open_file {};
        struct stat named {};
        // Still the same file once locked: its writer may have renamed it into place meanwhile.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &open_file) == 0 &&
            S_ISREG(open_file.st_mode) && ::lstat(it->path().c_str(), &named) == 0 &&
            named.st_dev == open_file.st_dev && named.st_ino == open_file.st_ino &&
            ::unlink(it->path().c_str()) == 0) {
            ++removed;
        }
        ::close(fd);
    }
    return removed;
}

std::optional<std::string> read_whole_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return std::move(ss).str();
}

}  // namespace vetra::library
