#include "library/atomic_file.h"

#include <fcntl.h>
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

}  // namespace

AtomicFileWriter::AtomicFileWriter(std::filesystem::path target) : target_(std::move(target)) {
    std::string pattern =
        (target_.parent_path() / ("." + target_.filename().string() + ".tmp-XXXXXX")).string();
    fd_ = ::mkstemp(pattern.data());
    if (fd_ >= 0) {
        temporary_ = pattern;
    }
}

AtomicFileWriter::~AtomicFileWriter() {
    discard();
}

bool AtomicFileWriter::write(std::string_view bytes) {
    return fd_ >= 0 && write_all(fd_, bytes);
}

bool AtomicFileWriter::commit() {
    if (fd_ < 0) {
        return false;
    }
    bool ok = ::fsync(fd_) == 0;
    // mkstemp creates 0600; keep the mode of the file being replaced, or an ordinary one.
    struct stat st {};
    ::fchmod(fd_, ::stat(target_.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    ok = (::close(fd_) == 0) && ok;
    fd_ = -1;
    if (ok && ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        ok = false;
    }
    if (!ok) {
        ::unlink(temporary_.c_str());
        return false;
    }
    sync_directory(target_.parent_path());
    return true;
}

void AtomicFileWriter::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        ::unlink(temporary_.c_str());
    }
}

bool write_file_atomically(const std::filesystem::path& target, std::string_view bytes) {
    AtomicFileWriter writer(target);
    return writer.write(bytes) && writer.commit();
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
