#include "link/mailslot.h"
#include "link/mailslot_posix.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace vetra::link {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kFixedData = "\\\\.\\mailslot\\Registration\\FixedData";
constexpr const char* kChromatograph = "\\\\.\\mailslot\\chromatograph";

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

mode_t mode_of(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return 0;
    }
    return st.st_mode & 07777;
}

// Every test gets a mailslot directory of its own, so tests never meet a running program's
// mailslots nor each other's.
class MailslotTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("VETRA_MAILSLOT_DIR")) {
            saved_ = old;
        }
        ::setenv("VETRA_MAILSLOT_DIR", dir().c_str(), 1);
    }
    void TearDown() override {
        if (saved_) {
            ::setenv("VETRA_MAILSLOT_DIR", saved_->c_str(), 1);
        } else {
            ::unsetenv("VETRA_MAILSLOT_DIR");
        }
    }
    // Below the temporary directory, so that the server has to create it.
    fs::path dir() const { return temp_.path() / "slots"; }

    test::TempDir temp_;
    std::optional<std::string> saved_;
};

// --- names --------------------------------------------------------------------------------

TEST_F(MailslotTest, local_names_map_to_socket_files_below_the_mailslot_directory) {
    EXPECT_EQ(mailslot_directory(), dir());
    EXPECT_EQ(mailslot_path(kFixedData), dir() / "Registration" / "FixedData");
    EXPECT_EQ(mailslot_path(kChromatograph), dir() / "chromatograph");
    EXPECT_EQ(mailslot_path("\\\\.\\MAILSLOT\\chromatograph"), dir() / "chromatograph");
}

TEST_F(MailslotTest, domain_names_and_names_that_are_not_mailslots_map_to_nothing) {
    EXPECT_EQ(mailslot_path("\\\\*\\mailslot\\Registration\\FixedData"), std::nullopt);
    EXPECT_EQ(mailslot_path(""), std::nullopt);
    EXPECT_EQ(mailslot_path("COM1"), std::nullopt);
    EXPECT_EQ(mailslot_path("\\\\.\\pipe\\chromatograph"), std::nullopt);
    EXPECT_EQ(mailslot_path("\\\\server\\mailslot\\chromatograph"), std::nullopt);
    EXPECT_EQ(mailslot_path("\\\\.\\mailslot\\"), std::nullopt);
    EXPECT_EQ(mailslot_path("/tmp/chromatograph"), std::nullopt);
}

TEST_F(MailslotTest, components_that_would_leave_the_directory_are_refused) {
    EXPECT_EQ(mailslot_path("\\\\.\\mailslot\\..\\escape"), std::nullopt);
    EXPECT_EQ(mailslot_path("\\\\.\\mailslot\\Registration\\..\\..\\escape"), std::nullopt);
    EXPECT_EQ(mailslot_path("\\\\.\\mailslot\\.."), std::nullopt);
    EXPECT_EQ(mailslot_path("\\\\.\\mailslot\\a/../../escape"), std::nullopt);
    EXPECT_EQ(mailslot_path("\\\\.\\mailslot\\a\\\\b"), std::nullopt);
}

TEST_F(MailslotTest, writing_to_a_domain_name_fails_quietly) {
    const MailslotServer server(kFixedData, 1024);
    ASSERT_TRUE(server.is_valid());
    EXPECT_FALSE(mailslot_write("\\\\*\\mailslot\\Registration\\FixedData", "x"));
}

TEST(MailslotDirectory, falls_back_to_the_runtime_directory_and_then_to_tmp_with_the_user_id) {
    const auto restore = [](const char* name, const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    };
    const auto get = [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto old_dir = get("VETRA_MAILSLOT_DIR");
    const auto old_runtime = get("XDG_RUNTIME_DIR");

    ::unsetenv("VETRA_MAILSLOT_DIR");
    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(mailslot_directory(), fs::path("/run/user/4242/vetra-mailslot"));
    ::setenv("VETRA_MAILSLOT_DIR", "", 1);
    EXPECT_EQ(mailslot_directory(), fs::path("/run/user/4242/vetra-mailslot"));
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(mailslot_directory(), fs::path("/tmp/vetra-mailslot-" + std::to_string(::getuid())));

    restore("VETRA_MAILSLOT_DIR", old_dir);
    restore("XDG_RUNTIME_DIR", old_runtime);
}

// --- messages -----------------------------------------------------------------------------

TEST_F(MailslotTest, each_write_is_one_message_with_its_bytes_unchanged) {
    MailslotServer server(kFixedData, 1024);
    ASSERT_TRUE(server.is_valid());
    const std::string with_zeros("a\0b\0\0", 5);
    const std::string not_utf8("\xff\xfe\x98\x80\xc0", 5);
    ASSERT_TRUE(mailslot_write(kFixedData, with_zeros));
    ASSERT_TRUE(mailslot_write(kFixedData, not_utf8));
    ASSERT_TRUE(mailslot_write(kFixedData, "x"));

    EXPECT_EQ(server.read_next(), with_zeros);
    EXPECT_EQ(server.read_next(), not_utf8);
    EXPECT_EQ(server.read_next(), "x");
    EXPECT_EQ(server.read_next(), std::nullopt);
}

TEST_F(MailslotTest, a_poll_with_nothing_waiting_returns_nothing_at_once) {
    MailslotServer server(kChromatograph, 1024);
    ASSERT_TRUE(server.is_valid());
    const auto start = Clock::now();
    EXPECT_EQ(server.read_next(), std::nullopt);
    EXPECT_LT(seconds_since(start), 3.0);
}

TEST_F(MailslotTest, writing_with_no_reader_fails_without_blocking) {
    const auto start = Clock::now();
    EXPECT_FALSE(mailslot_write(kFixedData, "сумм_газ2=0"));
    EXPECT_FALSE(mailslot_write(kChromatograph, "operation=start"));
    EXPECT_LT(seconds_since(start), 3.0);
}

TEST_F(MailslotTest, a_message_longer_than_the_maximum_is_dropped_and_the_next_one_is_read) {
    MailslotServer server(kChromatograph, 1024);
    ASSERT_TRUE(server.is_valid());
    const std::string longest(1024, 'L');
    mailslot_write(kChromatograph, std::string(1025, 'x'));
    ASSERT_TRUE(mailslot_write(kChromatograph, "next"));
    ASSERT_TRUE(mailslot_write(kChromatograph, longest));

    EXPECT_EQ(server.read_next(), "next");
    EXPECT_EQ(server.read_next(), longest);
    EXPECT_EQ(server.read_next(), std::nullopt);
}

TEST_F(MailslotTest, an_empty_message_is_a_message_of_its_own) {
    MailslotServer server(kChromatograph, 1024);
    ASSERT_TRUE(server.is_valid());
    ASSERT_TRUE(mailslot_write(kChromatograph, ""));
    ASSERT_TRUE(mailslot_write(kChromatograph, "after"));
    EXPECT_EQ(server.read_next(), "");
    EXPECT_EQ(server.read_next(), "after");
}

// --- ownership ----------------------------------------------------------------------------

TEST_F(MailslotTest, only_the_user_may_reach_the_socket_and_its_directory) {
    const MailslotServer server(kFixedData, 1024);
    ASSERT_TRUE(server.is_valid());
    EXPECT_EQ(mode_of(dir()), 0700u);
    EXPECT_EQ(mode_of(dir() / "Registration" / "FixedData"), 0600u);
}

TEST_F(MailslotTest, the_socket_file_goes_away_with_its_server) {
    {
        const MailslotServer server(kChromatograph, 1024);
        ASSERT_TRUE(server.is_valid());
        EXPECT_TRUE(fs::exists(fs::symlink_status(dir() / "chromatograph")));
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir() / "chromatograph")));
    EXPECT_FALSE(mailslot_write(kChromatograph, "late"));
}

TEST_F(MailslotTest, a_second_server_of_a_living_name_is_invalid_and_the_first_keeps_its_messages) {
    MailslotServer first(kChromatograph, 1024);
    ASSERT_TRUE(first.is_valid());
    MailslotServer second(kChromatograph, 1024);
    EXPECT_FALSE(second.is_valid());

    ASSERT_TRUE(mailslot_write(kChromatograph, "for the first"));
    EXPECT_EQ(second.read_next(), std::nullopt);
    EXPECT_EQ(first.read_next(), "for the first");
}

// A server leaves only what it created: not the file of an instance that took the name
// over, nor that of one that beat it to the name.
TEST_F(MailslotTest, a_server_never_removes_another_servers_socket_file) {
    std::optional<MailslotServer> first(std::in_place, kChromatograph, 1024);
    ASSERT_TRUE(first->is_valid());
    fs::remove(dir() / "chromatograph");  // as one that found it stale would
    MailslotServer second(kChromatograph, 1024);
    ASSERT_TRUE(second.is_valid());
    first.reset();
    ASSERT_TRUE(mailslot_write(kChromatograph, "for the second"));
    EXPECT_EQ(second.read_next(), "for the second");

    // Two starts at the same moment: whoever loses the race must not take the name down.
    for (int round = 0; round < 100; ++round) {
        std::optional<MailslotServer> a;
        std::optional<MailslotServer> b;
        std::atomic<int> ready{0};
        const auto create = [&ready](std::optional<MailslotServer>& server) {
            ++ready;
            while (ready.load() < 2) {
                std::this_thread::yield();
            }
            server.emplace(kFixedData, 1024);
        };
        {
            std::jthread ta(create, std::ref(a));
            std::jthread tb(create, std::ref(b));
        }
        ASSERT_NE(a->is_valid(), b->is_valid()) << "round " << round;
        ASSERT_TRUE(mailslot_write(kFixedData, "x")) << "round " << round;
    }
}

TEST_F(MailslotTest, a_socket_file_left_by_a_dead_program_is_taken_over) {
    const fs::path path = dir() / "chromatograph";
    fs::create_directories(dir());
    {
        const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);  // dies without removing its file
    }
    ASSERT_TRUE(fs::is_socket(path));
    EXPECT_FALSE(mailslot_write(kChromatograph, "to nobody"));

    MailslotServer server(kChromatograph, 1024);
    ASSERT_TRUE(server.is_valid());
    ASSERT_TRUE(mailslot_write(kChromatograph, "to the new owner"));
    EXPECT_EQ(server.read_next(), "to the new owner");
}

TEST_F(MailslotTest, something_other_than_a_socket_under_the_name_is_left_alone) {
    fs::create_directories(dir());
    test::write_bytes(dir() / "chromatograph", "the operator's file");
    fs::create_directories(dir() / "Registration" / "FixedData");

    const MailslotServer file_in_the_way(kChromatograph, 1024);
    const MailslotServer directory_in_the_way(kFixedData, 1024);
    EXPECT_FALSE(file_in_the_way.is_valid());
    EXPECT_FALSE(directory_in_the_way.is_valid());
    EXPECT_EQ(test::read_bytes(dir() / "chromatograph"), "the operator's file");
    EXPECT_TRUE(fs::is_directory(dir() / "Registration" / "FixedData"));
}

TEST_F(MailslotTest, a_directory_the_operator_opened_keeps_its_permissions) {
    // Search permission for another user, given once, must survive every start.
    fs::create_directories(dir());
    ::chmod(dir().c_str(), 0711);
    const MailslotServer server(kChromatograph, 1024);
    ASSERT_TRUE(server.is_valid());
    EXPECT_EQ(mode_of(dir()), 0711u);
    EXPECT_EQ(mode_of(dir() / "chromatograph"), 0600u);
}

// Without VETRA_MAILSLOT_DIR the directory has a predictable name, which someone else may
// have taken first.
class DefaultMailslotDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"VETRA_MAILSLOT_DIR", "XDG_RUNTIME_DIR"}) {
            if (const char* old = std::getenv(name)) {
                saved_.emplace_back(name, old);
            }
            ::unsetenv(name);
        }
        ::setenv("XDG_RUNTIME_DIR", temp_.path().c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("XDG_RUNTIME_DIR");
        for (const auto& [name, value] : saved_) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }
    fs::path dir() const { return temp_ / "vetra-mailslot"; }

    // Nothing reaches a mailslot there, and nothing was made there.
    void expect_unused(const fs::path& where) {
        MailslotServer server(kFixedData, 1024);
        EXPECT_FALSE(server.is_valid());
        EXPECT_FALSE(mailslot_write(kFixedData, "x"));
        EXPECT_FALSE(fs::exists(where / "Registration"));
    }

    test::TempDir temp_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(DefaultMailslotDirectory, is_created_for_the_user_alone) {
    MailslotServer server(kFixedData, 1024);
    ASSERT_TRUE(server.is_valid());
    EXPECT_EQ(mode_of(dir()), 0700u);
    ASSERT_TRUE(mailslot_write(kFixedData, "x"));
    EXPECT_EQ(server.read_next(), "x");
}

TEST_F(DefaultMailslotDirectory, a_link_in_its_place_is_not_followed) {
    const fs::path elsewhere = temp_ / "elsewhere";
    fs::create_directories(elsewhere);
    ::chmod(elsewhere.c_str(), 0755);
    fs::create_directory_symlink(elsewhere, dir());
    expect_unused(elsewhere);
    EXPECT_EQ(mode_of(elsewhere), 0755u);
}

TEST_F(DefaultMailslotDirectory, one_made_by_another_user_is_not_used) {
    fs::create_directories(dir());
    ::chmod(dir().c_str(), 0777);
    if (::chown(dir().c_str(), ::geteuid() + 4242, static_cast<gid_t>(-1)) != 0) {
        GTEST_SKIP() << "only root can give a directory away";
    }
    expect_unused(dir());
}

// --- load ---------------------------------------------------------------------------------

TEST_F(MailslotTest, a_flood_never_blocks_the_writer_and_each_poll_takes_one_message_in_order) {
    MailslotServer server(kChromatograph, 1024);
    ASSERT_TRUE(server.is_valid());
    constexpr int kWrites = 5000;
    std::vector<std::string> accepted;
    const auto start = Clock::now();
    for (int i = 0; i < kWrites; ++i) {
        std::string message = "message " + std::to_string(i);
        if (mailslot_write(kChromatograph, message)) {
            accepted.push_back(std::move(message));
        }
    }
    EXPECT_LT(seconds_since(start), 3.0);
    ASSERT_FALSE(accepted.empty());

    for (const auto& expected : accepted) {
        ASSERT_EQ(server.read_next(), expected);
    }
    EXPECT_EQ(server.read_next(), std::nullopt);
    // The queue works again once drained.
    ASSERT_TRUE(mailslot_write(kChromatograph, "after the flood"));
    EXPECT_EQ(server.read_next(), "after the flood");
}

}  // namespace
}  // namespace vetra::link
