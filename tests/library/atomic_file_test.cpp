#include "library/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace vetra::library {
namespace {

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

TEST(AtomicFile, new_files_get_ordinary_permissions) {
    test::TempDir dir;
    const auto target = dir / "calibr.ini";
    ASSERT_TRUE(write_file_atomically(target, "x"));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IRUSR, 0u);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);
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

// Only temporary files whose writer is gone are removed: one being written stays.
TEST(AtomicFile, start_up_removes_stale_temporaries_and_keeps_a_live_one) {
    test::TempDir dir;
    test::write_bytes(dir / ".хроматограф.ini.tmp-Ab12Cd", "old style");
    test::write_bytes(dir / (std::string(kTemporaryPrefix) + "Zz9Yy8"), "crashed");
    test::write_bytes(dir / ".profile", "not ours");
    test::write_bytes(dir / "data.tim", "table");
    AtomicFileWriter live(dir / "vetra2.history");
    ASSERT_TRUE(live.write("being written"));

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
