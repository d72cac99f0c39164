#include "control/mess_caller.h"

namespace vetra::control {

MessCaller::~MessCaller() { shut_down(); }

void MessCaller::set_wake_up(WakeUp wake_up) {
    std::lock_guard lock(mutex_);
    wake_up_ = std::move(wake_up);
}

void MessCaller::post(Call call) {
    std::lock_guard lock(mutex_);
    if (!enabled_) {
        return;
    }
    queue_.push_back(std::move(call));
    posted_.notify_one();
    if (wake_up_) {
        wake_up_();
    }
}

void MessCaller::run_pending() {
    std::vector<Call> calls;
    {
        std::lock_guard lock(mutex_);
        if (!enabled_) {
            return;
        }
        calls.swap(queue_);
    }
    for (auto& call : calls) {
        call();
    }
}

bool MessCaller::wait_and_run(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_for(lock, timeout, [this] { return !queue_.empty() || !enabled_; })) {
            return false;
        }
        if (!enabled_) {
            return false;
        }
    }
    run_pending();
    return true;
}

void MessCaller::shut_down() {
    std::vector<Call> discarded;
    {
        std::lock_guard lock(mutex_);
        enabled_ = false;
        discarded.swap(queue_);
        wake_up_ = nullptr;
    }
    // Destroyed outside the lock: a call's captures may do anything in their destructors.
}

std::size_t MessCaller::pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

}  // namespace vetra::control
