#include "storage/mapped_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <setjmp.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

namespace vetra::storage {
namespace {

constexpr std::size_t kMinCapacity = std::size_t{1} << 20;

int fd(library::NativeHandle handle) {
    return static_cast<int>(handle);
}

// Set only while a guarded copy runs on this thread; constant-initialised, so the signal
// handler reads it without any lazy set-up.
thread_local sigjmp_buf* t_guard = nullptr;
struct sigaction g_previous {};

extern "C" void on_sigbus(int, siginfo_t*, void*) {
    if (t_guard != nullptr) {
        siglongjmp(*t_guard, 1);
    }
    // Not one of ours: returning re-runs the faulting access under the earlier handler.
    sigaction(SIGBUS, &g_previous, nullptr);
}

void install_guard() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_sigaction = on_sigbus;
        // No SA_RESETHAND; SA_NODEFER so leaving the handler by a jump leaves SIGBUS unblocked.
        sa.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGBUS, &sa, &g_previous);
    });
}

std::size_t page_rounded(std::uint64_t size) {
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    return static_cast<std::size_t>((size + page - 1) / page * page);
}

bool pread_all(int fd, std::uint64_t offset, void* out, std::size_t n) {
    auto* p = static_cast<char*>(out);
    while (n > 0) {
        const ssize_t got = ::pread(fd, p, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        p += got;
        n -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

bool pwrite_all(int fd, std::uint64_t offset, const void* bytes, std::size_t n) {
    const auto* p = static_cast<const char*>(bytes);
    while (n > 0) {
        const ssize_t put = ::pwrite(fd, p, n, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        p += put;
        n -= static_cast<std::size_t>(put);
        offset += static_cast<std::uint64_t>(put);
    }
    return true;
}

}  // namespace

bool guarded_copy(void* destination, const void* source, std::size_t n) {
    install_guard();
    sigjmp_buf env;
    if (sigsetjmp(env, 0) != 0) {
        t_guard = nullptr;
        // Some runtimes (sanitizers) wrap the handler and leave SIGBUS blocked after the jump;
        // a blocked SIGBUS at the next fault would end the process.
        sigset_t bus;
        sigemptyset(&bus);
        sigaddset(&bus, SIGBUS);
        pthread_sigmask(SIG_UNBLOCK, &bus, nullptr);
        return false;
    }
    t_guard = &env;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(destination, source, n);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_guard = nullptr;
    return true;
}

MappedFile::~MappedFile() {
    close();
}

bool MappedFile::open(const std::filesystem::path& path, bool create) {
    close();
    path_ = path;
    ++opens_;
    const int flags = O_CLOEXEC | (create ? O_CREAT : 0);
    file_ = ::open(path.c_str(), O_RDWR | flags, 0644);
    writable_ = file_ >= 0;
    error_.clear();
    if (file_ < 0) {
        note_error();
        file_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    struct stat st {};
    if (file_ >= 0 && (::fstat(fd(file_), &st) != 0 || !S_ISREG(st.st_mode))) {
        if (!error_) {
            error_ = std::make_error_code(std::errc::is_a_directory);
        }
        close();
    }
    if (file_ < 0) {
        return false;
    }
    map_for(static_cast<std::uint64_t>(st.st_size));
    return true;
}

void MappedFile::close() {
    prepare_for_replace();
    if (file_ >= 0) {
        ::close(fd(file_));
        file_ = library::kInvalidHandle;
    }
    writable_ = false;
}

// Reserves half as much again as the file holds, so appends map anew only now and then.
void MappedFile::map_for(std::uint64_t size) {
    if (map_ != nullptr && size <= capacity_) {
        return;
    }
    if (map_ != nullptr) {
        ::munmap(map_, capacity_);
        map_ = nullptr;
        capacity_ = 0;
    }
    const std::uint64_t wanted = std::max<std::uint64_t>(kMinCapacity, size + size / 2);
    if (wanted > static_cast<std::uint64_t>(SIZE_MAX / 2)) {
        return;
    }
    const std::size_t capacity = page_rounded(wanted);
    void* p = ::mmap(nullptr, capacity, PROT_READ | (writable_ ? PROT_WRITE : 0), MAP_SHARED,
                     fd(file_), 0);
    if (p != MAP_FAILED) {
        map_ = p;
        capacity_ = capacity;
    }
}

bool MappedFile::still_at(const std::filesystem::path& path) const {
    struct stat open_file {};
    struct stat named {};
    return file_ >= 0 && ::fstat(fd(file_), &open_file) == 0 && ::stat(path.c_str(), &named) == 0 &&
           open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

std::optional<std::uint64_t> MappedFile::current_size() const {
    struct stat st {};
    if (file_ < 0 || ::fstat(fd(file_), &st) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

bool MappedFile::read(std::uint64_t offset, void* out, std::size_t n) const {
    if (file_ < 0) {
        return false;
    }
    if (map_ != nullptr && offset + n <= capacity_) {
        return guarded_copy(out, static_cast<const char*>(map_) + offset, n);
    }
    return pread_all(fd(file_), offset, out, n);
}

bool MappedFile::write(std::uint64_t offset, const void* bytes, std::size_t n) {
    if (!writable_) {
        return false;
    }
    if (map_ != nullptr && offset + n <= capacity_) {
        return guarded_copy(static_cast<char*>(map_) + offset, bytes, n);
    }
    // Through the file, never past its end: a file cut short stays short.
    const auto size = current_size();
    return size && offset + n <= *size && pwrite_all(fd(file_), offset, bytes, n);
}

// Linux keeps one page cache for the file and its shared mapping: fsync writes both.
bool MappedFile::flush() {
    if (!writable_ || ::fsync(fd(file_)) != 0) {
        note_error();
        return false;
    }
    return true;
}

bool MappedFile::write_at_end(std::uint64_t offset, const void* bytes, std::size_t n) {
    if (!writable_) {
        return false;
    }
    const auto size = current_size();
    if (!size || (*size > offset + n && ::ftruncate(fd(file_), static_cast<off_t>(offset)) != 0)) {
        note_error();
        return false;
    }
    if (!pwrite_all(fd(file_), offset, bytes, n)) {
        note_error();
        // Leave no torn row behind.
        (void)::ftruncate(fd(file_), static_cast<off_t>(offset));
        return false;
    }
    map_for(offset + n);
    return true;
}

void MappedFile::prepare_for_replace() {
    if (map_ != nullptr) {
        ::munmap(map_, capacity_);
        map_ = nullptr;
        capacity_ = 0;
    }
}

void MappedFile::note_error() {
    error_ = std::error_code(errno, std::generic_category());
}

bool MappedFile::lock_appenders() {
    if (file_ < 0) {
        error_ = std::make_error_code(std::errc::bad_file_descriptor);
        return false;
    }
    while (::flock(fd(file_), LOCK_EX) != 0) {
        if (errno != EINTR) {
            note_error();
            return false;
        }
    }
    return true;
}

void MappedFile::unlock_appenders() {
    ::flock(fd(file_), LOCK_UN);
}

}  // namespace vetra::storage
