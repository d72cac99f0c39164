#include "control/mess_caller.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace vetra::control {
namespace {

using namespace std::chrono_literals;

TEST(MessCaller, posts_from_a_worker_run_in_order_on_the_first_run_and_later_runs_do_nothing) {
    MessCaller calls;
    std::atomic<int> wake_ups{0};
    calls.set_wake_up([&] { ++wake_ups; });
    std::vector<int> order;
    std::jthread worker([&] {
        for (int i = 1; i <= 3; ++i) {
            calls.post([&order, i] { order.push_back(i); });
        }
    });
    worker.join();
    EXPECT_EQ(wake_ups.load(), 3);
    EXPECT_EQ(calls.pending(), 3u);
    EXPECT_TRUE(order.empty());  // nothing runs inside post

    calls.run_pending();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(calls.pending(), 0u);
    calls.run_pending();
    calls.run_pending();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(MessCaller, a_call_that_posts_waits_for_the_next_run) {
    MessCaller calls;
    int wake_ups = 0;
    calls.set_wake_up([&] { ++wake_ups; });
    std::vector<char> ran;
    calls.post([&] {
        ran.push_back('a');
        calls.post([&] { ran.push_back('c'); });
    });
    calls.post([&] { ran.push_back('b'); });
    calls.run_pending();
    EXPECT_EQ(ran, (std::vector<char>{'a', 'b'}));
    EXPECT_EQ(wake_ups, 3);
    calls.run_pending();
    EXPECT_EQ(ran, (std::vector<char>{'a', 'b', 'c'}));
}

TEST(MessCaller, shut_down_discards_queued_calls_and_drops_later_posts) {
    MessCaller calls;
    int wake_ups = 0;
    calls.set_wake_up([&] { ++wake_ups; });
    int ran = 0;
    auto token = std::make_shared<int>(0);
    calls.post([&ran, token] { ++ran; });
    EXPECT_EQ(token.use_count(), 2);
    calls.shut_down();
    EXPECT_EQ(token.use_count(), 1);  // discarded, not kept
    calls.post([&ran] { ++ran; });
    EXPECT_EQ(calls.pending(), 0u);
    calls.run_pending();
    EXPECT_FALSE(calls.wait_and_run(10ms));
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(wake_ups, 1);
}

TEST(MessCaller, destruction_discards_queued_calls_without_running_them) {
    int ran = 0;
    auto token = std::make_shared<int>(0);
    {
        MessCaller calls;
        calls.post([&ran, token] { ++ran; });
    }
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(token.use_count(), 1);
}

TEST(MessCaller, wait_and_run_times_out_when_nothing_is_posted) {
    MessCaller calls;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(calls.wait_and_run(30ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 25ms);
}

TEST(MessCaller, wait_and_run_runs_what_another_thread_posts) {
    MessCaller calls;
    std::thread::id ran_on;
    std::jthread worker([&] {
        std::this_thread::sleep_for(20ms);
        calls.post([&] { ran_on = std::this_thread::get_id(); });
    });
    // A long time-out: the post must end the wait, not the time-out.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(calls.wait_and_run(10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST(MessCaller, wait_and_run_returns_at_once_when_calls_are_already_queued) {
    MessCaller calls;
    int ran = 0;
    calls.post([&] { ++ran; });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(calls.wait_and_run(10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(ran, 1);
}

TEST(MessCaller, concurrent_posters_lose_nothing_and_keep_each_threads_order) {
    constexpr int kThreads = 8;
    constexpr int kPosts = 2000;
    MessCaller calls;
    std::atomic<int> wake_ups{0};
    calls.set_wake_up([&] { ++wake_ups; });
    // Written only by the calls, which run on this thread.
    std::vector<int> last(kThreads, -1);
    int total = 0;
    int out_of_order = 0;
    {
        std::vector<std::jthread> posters;
        for (int t = 0; t < kThreads; ++t) {
            posters.emplace_back([&, t] {
                for (int i = 0; i < kPosts; ++i) {
                    calls.post([&, t, i] {
                        if (i != last[t] + 1) {
                            ++out_of_order;
                        }
                        last[t] = i;
                        ++total;
                    });
                }
            });
        }
        // Runs while they post, so that takes and appends interleave.
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (total < kThreads * kPosts && std::chrono::steady_clock::now() < deadline) {
            calls.wait_and_run(10ms);
        }
    }
    calls.run_pending();
    EXPECT_EQ(total, kThreads * kPosts);
    EXPECT_EQ(out_of_order, 0);
    EXPECT_EQ(wake_ups.load(), kThreads * kPosts);
}

}  // namespace
}  // namespace vetra::control
