#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace vetra::control {

// Runs function objects posted from any thread on the main thread, in posting order.
// A post appends the call and rings the wake-up hook once; the main thread answers each
// wake-up with `run_pending`, which runs every call queued up to that moment (so later
// wake-ups may find nothing to do). The GUI's hook queues a call into the event loop;
// the console waits with `wait_and_run`.
class MessCaller {
public:
    using Call = std::function<void()>;
    using WakeUp = std::function<void()>;

    MessCaller() = default;
    ~MessCaller();
    MessCaller(const MessCaller&) = delete;
    MessCaller& operator=(const MessCaller&) = delete;

    // The hook runs on the posting thread, under the queue's lock: it must only signal.
    void set_wake_up(WakeUp wake_up);

    void post(Call call);

    // Main thread. Calls are run outside the lock, so a call may post again; those wait
    // for their own wake-up.
    void run_pending();

    // Main thread: waits up to `timeout` for a post, then runs what is queued.
    // True when something ran.
    bool wait_and_run(std::chrono::milliseconds timeout);

    // Discards every queued call and refuses new ones; the destructor does this first.
    void shut_down();

    std::size_t pending() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::vector<Call> queue_;
    WakeUp wake_up_;
    bool enabled_ = true;
};

}  // namespace vetra::control
