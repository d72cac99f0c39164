#include "library/lock_object.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "support/temp_dir.h"

namespace vetra::library {
namespace {

TEST(LockObject, is_recursive_within_one_thread) {
    LockObject lock;
    ScopedLock outer(lock);
    ScopedLock inner(lock);  // a critical section may be entered again by its owner
    SUCCEED();
}

TEST(LockObject, excludes_other_threads) {
    LockObject lock;
    int counter = 0;
    {
        std::jthread a([&] {
            for (int i = 0; i < 10000; ++i) {
                ScopedLock g(lock);
                ++counter;
            }
        });
        std::jthread b([&] {
            for (int i = 0; i < 10000; ++i) {
                ScopedLock g(lock);
                ++counter;
            }
        });
    }
    EXPECT_EQ(counter, 20000);
}

TEST(LockObject, named_form_excludes_another_process) {
    test::TempDir dir;
    const auto path = dir / "vetra.lock";
    LockObject mine(path);
    ASSERT_TRUE(mine.is_named());
    ASSERT_TRUE(mine.try_lock());

    const pid_t child = ::fork();
    if (child == 0) {
        LockObject theirs(path);
        ::_exit(theirs.try_lock() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a second process took the lock";

    mine.unlock();
    const pid_t again = ::fork();
    if (again == 0) {
        LockObject theirs(path);
        ::_exit(theirs.try_lock() ? 0 : 1);
    }
    ::waitpid(again, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the lock was not released";
}

}  // namespace
}  // namespace vetra::library
