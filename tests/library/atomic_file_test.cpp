#include "library/atomic_file.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/temp_dir.h"

// fsync and rename are interposed for this program: while a test records, each call is
// logged by the path it acts on, and a flush can be made to fail as a dying disk would.
namespace {

struct SyncLog {
    bool recording = false;
    int failing_flush = 0;  // errno a recorded fsync fails with; 0 for none
    std::vector<std::string> calls;
};

SyncLog& sync_log() {
    static SyncLog log;
    return log;
}

std::string path_of(int fd) {
    char buffer[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "?";
}

}  // namespace

extern "C" int fsync(int fd) {
    using Fsync = int (*)(int);
    static const auto real = reinterpret_cast<Fsync>(::dlsym(RTLD_NEXT, "fsync"));
    SyncLog& log = sync_log();
    if (log.recording) {
        log.calls.push_back("fsync " + path_of(fd));
        if (log.failing_flush != 0) {
            errno = log.failing_flush;
            return -1;
        }
    }
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept {
    using Rename = int (*)(const char*, const char*);
    static const auto real = reinterpret_cast<Rename>(::dlsym(RTLD_NEXT, "rename"));
    SyncLog& log = sync_log();
    if (log.recording) {
        log.calls.push_back(std::string("rename ") + from + " -> " + to);
    }
    return real(from, to);
}

namespace vetra::library {
namespace {

// Records the interposed calls while it lives.
class Recording {
public:
    explicit Recording(int failing_flush = 0) { sync_log() = SyncLog{true, failing_flush, {}}; }
    ~Recording() { sync_log().recording = false; }
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;
    const std::vector<std::string>& calls() const { return sync_log().calls; }
};

TEST(AtomicFile, replaces_the_whole_file_and_leaves_no_temporary) {
    test::TempDir dir;
    const auto target = dir / "хроматограф.ini";
    test::write_bytes(target, "old content that is longer");
    ASSERT_TRUE(write_file_atomically(target, std::string("new\0bytes", 9)));
    EXPECT_EQ(test::read_bytes(target), std::string("new\0bytes", 9));
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(AtomicFile, fails_without_touching_anything_when_the_directory_is_missing) {
    test::TempDir dir;
    EXPECT_FALSE(write_file_atomically(dir / "missing" / "file.ini", "x"));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST(AtomicFile, new_files_get_ordinary_permissions_and_a_replaced_file_keeps_its_own) {
    test::TempDir dir;
    const auto mode_of = [](const std::filesystem::path& path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        return st.st_mode & 07777;
    };
    const auto target = dir / "calibr.ini";
    ASSERT_TRUE(write_file_atomically(target, "x"));
    EXPECT_EQ(mode_of(target), 0644u);  // readable by the station's account too

    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    ASSERT_TRUE(write_file_atomically(target, "y"));
    EXPECT_EQ(mode_of(target), 0640u);
}

// A crash-safe replacement: the new content is on the disk before the name points at it, and
// the folder's entry is flushed after. A flush that fails leaves the old file as it was.
TEST(AtomicFile, flushes_before_the_rename_and_a_failed_flush_keeps_the_old_file) {
    test::TempDir dir;
    const auto folder = std::filesystem::canonical(dir.path());
    const auto target = folder / "calibr.ini";
    test::write_bytes(target, "old");
    std::vector<std::string> calls;
    {
        Recording recording;
        ASSERT_TRUE(write_file_atomically(target, "new"));
        calls = recording.calls();
    }
    ASSERT_EQ(calls.size(), 3u) << testing::PrintToString(calls);
    const std::string temporary = calls[0].substr(std::string("fsync ").size());
    EXPECT_NE(temporary, target.string());
    EXPECT_EQ(calls[1], "rename " + temporary + " -> " + target.string());
    EXPECT_EQ(calls[2], "fsync " + folder.string());
    EXPECT_EQ(test::read_bytes(target), "new");

    std::error_code error;
    {
        Recording recording(EIO);
        EXPECT_FALSE(write_file_atomically(target, "newer", &error));
        calls = recording.calls();
    }
    EXPECT_EQ(error, std::errc::io_error);
    ASSERT_EQ(calls.size(), 1u) << testing::PrintToString(calls);  // no rename after it
    EXPECT_EQ(test::read_bytes(target), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1);
}

// A name near the 255-byte limit leaves no room for a temporary name built from it.
TEST(AtomicFile, a_long_cyrillic_name_is_written_and_a_failure_says_why) {
    test::TempDir dir;
    std::string name;
    for (int i = 0; i < 17; ++i) {
        name += "таблица";
    }
    name += "_1.csv";
    ASSERT_EQ(name.size(), 244u);
    ASSERT_TRUE(write_file_atomically(dir / name, "x"));
    EXPECT_EQ(test::read_bytes(dir / name), "x");

    std::filesystem::create_directory(dir / "data.tim");
    std::error_code error;
    EXPECT_FALSE(write_file_atomically(dir / "data.tim", "x", &error));
    EXPECT_EQ(error, std::errc::is_a_directory);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "data.tim"));
}

// Files of the folder as a clean-up a while later sees them.
void age_files(const std::filesystem::path& dir) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::filesystem::last_write_time(
            entry.path(), std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2));
    }
}

// Only temporary files whose writer is gone are removed: one being written stays, and so
// does one just made, whose writer may not have locked it yet.
TEST(AtomicFile, start_up_removes_stale_temporaries_and_keeps_a_live_one) {
    test::TempDir dir;
    test::write_bytes(dir / ".хроматограф.ini.tmp-Ab12Cd", "old style");
    test::write_bytes(dir / (std::string(kTemporaryPrefix) + "Zz9Yy8"), "crashed");
    test::write_bytes(dir / ".profile", "not ours");
    test::write_bytes(dir / "data.tim", "table");
    AtomicFileWriter live(dir / "vetra2.history");
    ASSERT_TRUE(live.write("being written"));
    EXPECT_EQ(remove_stale_temporaries(dir.path()), 0);
    age_files(dir.path());

    EXPECT_EQ(remove_stale_temporaries(dir.path()), 2);
    EXPECT_TRUE(std::filesystem::exists(live.temporary_path()));
    EXPECT_TRUE(std::filesystem::exists(dir / ".profile"));
    EXPECT_TRUE(std::filesystem::exists(dir / "data.tim"));
    EXPECT_TRUE(live.commit());
    EXPECT_EQ(test::read_bytes(dir / "vetra2.history"), "being written");

    // A writer that died (a child killed before its rename) leaves a temporary file behind.
    const pid_t child = ::fork();
    if (child == 0) {
        AtomicFileWriter dying(dir / "calibr.ini");
        (void)dying.write("half");
        ::_exit(0);  // no destructor: as after a kill
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ::waitpid(child, &status, 0);
    age_files(dir.path());
    EXPECT_EQ(remove_stale_temporaries(dir.path()), 1);
    EXPECT_EQ(remove_stale_temporaries(dir.path()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "calibr.ini"));
}

TEST(AtomicFile, reading_a_missing_file_gives_nothing) {
    test::TempDir dir;
    EXPECT_FALSE(read_whole_file(dir / "none"));
}

}  // namespace
}  // namespace vetra::library
