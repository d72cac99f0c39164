#include "library/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(AtomicFile, reading_a_missing_file_gives_nothing) {
    test::TempDir dir;
    EXPECT_FALSE(read_whole_file(dir / "none"));
}

}  // namespace
}  // namespace vetra::library
