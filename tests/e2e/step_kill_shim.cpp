// Preloaded into vetra-tool by the re-processing crash test: kills the process with SIGKILL
// right after its Nth file step (N from $VETRA_KILL_AT_STEP), as a power cut would. A step is
// a rename onto a name ending in $VETRA_KILL_RENAME_SUFFIX or a write in place into a file
// whose name ends in $VETRA_KILL_WRITE_SUFFIX. That file's mapping is refused, so the
// program writes it through the calls seen here (it does so whenever a mapping fails).
#include <dlfcn.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool ends_with(const char* text, const char* env) {
    const char* suffix = std::getenv(env);
    if (text == nullptr || suffix == nullptr || *suffix == '\0') {
        return false;
    }
    const std::size_t n = std::strlen(text);
    const std::size_t m = std::strlen(suffix);
    return n >= m && std::strcmp(text + n - m, suffix) == 0;
}

void step(const char* what) {
    static std::atomic<int> steps{0};
    const char* limit = std::getenv("VETRA_KILL_AT_STEP");
    if (limit != nullptr && ++steps == std::atoi(limit)) {
        std::fprintf(stderr, "killed after step %d: %s\n", steps.load(), what);
        ::kill(::getpid(), SIGKILL);
    }
}

bool into_watched_file(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n <= 0) {
        return false;
    }
    target[n] = '\0';
    return ends_with(target, "VETRA_KILL_WRITE_SUFFIX");
}

}  // namespace

extern "C" int rename(const char* from, const char* to) {
    using Rename = int (*)(const char*, const char*);
    static const auto real = reinterpret_cast<Rename>(::dlsym(RTLD_NEXT, "rename"));
    const int result = real(from, to);
    if (result == 0 && ends_with(to, "VETRA_KILL_RENAME_SUFFIX")) {
        step(to);
    }
    return result;
}

extern "C" ssize_t pwrite(int fd, const void* bytes, size_t n, off_t offset) {
    using Write = ssize_t (*)(int, const void*, size_t, off_t);
    static const auto real = reinterpret_cast<Write>(::dlsym(RTLD_NEXT, "pwrite"));
    const ssize_t result = real(fd, bytes, n, offset);
    if (result > 0 && into_watched_file(fd)) {
        step("write");
    }
    return result;
}

extern "C" ssize_t pwrite64(int fd, const void* bytes, size_t n, off_t offset) {
    return pwrite(fd, bytes, n, offset);
}

extern "C" void* mmap(void* at, size_t n, int protection, int flags, int fd, off_t offset) {
    using Map = void* (*)(void*, size_t, int, int, int, off_t);
    static const auto real = reinterpret_cast<Map>(::dlsym(RTLD_NEXT, "mmap"));
    if (fd >= 0 && into_watched_file(fd)) {
        errno = ENOMEM;
        return MAP_FAILED;
    }
    return real(at, n, protection, flags, fd, offset);
}

extern "C" void* mmap64(void* at, size_t n, int protection, int flags, int fd, off_t offset) {
    return mmap(at, n, protection, flags, fd, offset);
}
