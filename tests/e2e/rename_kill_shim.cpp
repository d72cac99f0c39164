// Preloaded into vetra-console by the crash-safety test: kills the process with SIGKILL right
// after the Nth successful rename onto a name ending in ".ini" (N from
// $VETRA_KILL_AFTER_INI_RENAME), as a power cut at that moment would.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int rename(const char* from, const char* to) {
    using Rename = int (*)(const char*, const char*);
    static const auto real = reinterpret_cast<Rename>(::dlsym(RTLD_NEXT, "rename"));
    static int renamed = 0;
    const int result = real(from, to);
    const char* limit = std::getenv("VETRA_KILL_AFTER_INI_RENAME");
    const std::size_t n = std::strlen(to);
    if (result == 0 && limit != nullptr && n >= 4 && std::strcmp(to + n - 4, ".ini") == 0 &&
        ++renamed == std::atoi(limit)) {
        std::fprintf(stderr, "killed after renaming %s\n", to);
        ::kill(::getpid(), SIGKILL);
    }
    return result;
}
