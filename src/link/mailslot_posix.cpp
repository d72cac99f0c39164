#include "link/mailslot_posix.h"
#include "link/mailslot.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "library/cp1251.h"

namespace vetra::link {
namespace {

constexpr std::string_view kLocalPrefix = "\\\\.\\mailslot\\";
constexpr std::string_view kDomainPrefix = "\\\\*\\mailslot\\";

bool make_address(const std::filesystem::path& path, sockaddr_un& addr) {
    const std::string text = path.string();
    if (text.size() >= sizeof addr.sun_path) {
        return false;
    }
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, text.c_str(), text.size() + 1);
    return true;
}

// Set by the operator, so used as it is; the default directories are checked instead.
const char* explicit_directory() {
    const char* dir = std::getenv("VETRA_MAILSLOT_DIR");
    return dir && *dir ? dir : nullptr;
}

bool make_directory(const std::filesystem::path& dir) {
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// Creates the directories from the mailslot directory down to `dir`, each for the user
// alone; directories that exist keep the permissions the operator gave them. Nothing is made
// below a mailslot directory that is not to be trusted.
bool make_directories(const std::filesystem::path& dir) {
    const std::filesystem::path root = mailslot_directory();
    std::error_code ec;
    std::filesystem::create_directories(root.parent_path(), ec);
    std::filesystem::path at = root;
    if (!make_directory(at) || !mailslot_directory_trusted()) {
        return false;
    }
    for (const auto& part : dir.lexically_relative(root)) {
        if (part != ".") {
            at /= part;
            if (!make_directory(at)) {
                return false;
            }
        }
    }
    return true;
}

// Whatever is at `path` and nobody reads any more: a socket left over from a crash may go,
// anything else (a file, a directory) is not ours to remove.
bool clear_stale_socket(const std::filesystem::path& path, const sockaddr_un& addr) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISSOCK(st.st_mode)) {
        return false;
    }
    // One that answers belongs to another running program, which keeps it.
    const int probe = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return false;
    }
    const bool owned = ::connect(probe, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(probe);
    return !owned && ::unlink(path.c_str()) == 0;
}

bool starts_with_ignore_case(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           library::equals_ignore_case(text.substr(0, prefix.size()), prefix);
}

}  // namespace

std::filesystem::path mailslot_directory() {
    if (const char* dir = explicit_directory()) {
        return dir;
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        return std::filesystem::path(runtime) / "vetra-mailslot";
    }
    return "/tmp/vetra-mailslot-" + std::to_string(::getuid());
}

bool mailslot_directory_trusted() {
    if (explicit_directory() != nullptr) {
        return true;
    }
    struct stat st {};
    return ::lstat(mailslot_directory().c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid();
}

std::optional<std::filesystem::path> mailslot_path(std::string_view name) {
    if (starts_with_ignore_case(name, kDomainPrefix) ||
        !starts_with_ignore_case(name, kLocalPrefix)) {
        return std::nullopt;
    }
    std::filesystem::path path = mailslot_directory();
    std::string_view rest = name.substr(kLocalPrefix.size());
    while (!rest.empty()) {
        const auto sep = rest.find('\\');
        const std::string_view part = rest.substr(0, sep);
        if (part.empty() || part == "." || part == ".." ||
            part.find('/') != std::string_view::npos) {
            return std::nullopt;
        }
        path /= std::string(part);
        rest = sep == std::string_view::npos ? std::string_view{} : rest.substr(sep + 1);
    }
    if (path == mailslot_directory()) {
        return std::nullopt;
    }
    return path;
}

bool mailslot_write(std::string_view name, std::string_view message) {
    const auto path = mailslot_path(name);
    sockaddr_un addr{};
    if (!path || !make_address(*path, addr) || !mailslot_directory_trusted()) {
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const ssize_t sent = ::sendto(fd, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    ::close(fd);
    return sent == static_cast<ssize_t>(message.size());
}

MailslotServer::MailslotServer(std::string_view name, std::size_t max_message_size)
    : max_size_(max_message_size) {
    const auto path = mailslot_path(name);
    sockaddr_un addr{};
    if (!path || !make_address(*path, addr) || !make_directories(path->parent_path()) ||
        !clear_stale_socket(*path, addr)) {
        return;
    }
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return;
    }
    // A failed bind means another instance won the name since the check above: its file is
    // not ours to remove.
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return;
    }
    // Only the user may write. The directory is the user's alone unless the operator opened
    // it, so nobody else can reach the socket before its mode is set.
    struct stat st {};
    if (::chmod(path->c_str(), 0600) != 0 || ::lstat(path->c_str(), &st) != 0) {
        ::close(fd);
        ::unlink(path->c_str());
        return;
    }
    handle_ = fd;
    path_ = *path;
    file_id_ = {st.st_dev, st.st_ino};
}

MailslotServer::~MailslotServer() {
    if (handle_ < 0) {
        return;
    }
    ::close(static_cast<int>(handle_));
    // The name may have been taken over meanwhile (our file removed as stale, say): only the
    // file this server created goes.
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == file_id_.first &&
        st.st_ino == file_id_.second) {
        ::unlink(path_.c_str());
    }
}

std::optional<std::string> MailslotServer::read_next() {
    if (handle_ < 0) {
        return std::nullopt;
    }
    std::vector<char> buffer(max_size_ + 1);
    while (true) {
        const ssize_t n = ::recv(static_cast<int>(handle_), buffer.data(), buffer.size(),
                                 MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (static_cast<std::size_t>(n) > max_size_) {
            continue;  // too long for this mailslot: dropped, the next one is read instead
        }
        return std::string(buffer.data(), static_cast<std::size_t>(n));
    }
}

}  // namespace vetra::link
