// Preloaded into vetra-console by the re-processing test: the wall clock runs
// $VETRA_CLOCK_FACTOR times faster from the first look at it, so that cycles a few seconds
// apart end in different minutes and each keeps its own run file. The monotonic clock, which
// the cycle's timeouts use, is left alone.
#include <dlfcn.h>
#include <time.h>

#include <cstdint>
#include <cstdlib>

extern "C" int clock_gettime(clockid_t id, struct timespec* ts) {
    using Get = int (*)(clockid_t, struct timespec*);
    static const auto real = reinterpret_cast<Get>(::dlsym(RTLD_NEXT, "clock_gettime"));
    const int result = real(id, ts);
    if (result != 0 || (id != CLOCK_REALTIME && id != CLOCK_REALTIME_COARSE)) {
        return result;
    }
    static const char* text = std::getenv("VETRA_CLOCK_FACTOR");
    static const std::int64_t factor = text != nullptr ? std::atoll(text) : 1;
    const std::int64_t now = std::int64_t{ts->tv_sec} * 1'000'000'000 + ts->tv_nsec;
    static const std::int64_t start = now;
    const std::int64_t fast = start + (now - start) * factor;
    ts->tv_sec = static_cast<time_t>(fast / 1'000'000'000);
    ts->tv_nsec = static_cast<long>(fast % 1'000'000'000);
    return result;
}
