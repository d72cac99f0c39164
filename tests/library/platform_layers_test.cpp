// The platform layers through their shared headers: these run against the POSIX half on
// Linux and against the Win32 half under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "library/atomic_file.h"
#include "library/clock.h"
#include "library/lock_object.h"
#include "library/utf8_path.h"
#include "link/mailslot.h"
#include "settings/program_directory.h"
#include "storage/results_table.h"
#include "support/temp_dir.h"

namespace vetra {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names_in(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(library::utf8_from_path(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PlatformLayers, cyrillic_names_are_created_listed_and_read_back_as_written) {
    test::TempDir temp;
    const std::string dir = temp.dir() + "площадь №1/";
    std::string error;
    ASSERT_TRUE(settings::prepare_program_directory(dir, error)) << error;
    const fs::path log = library::path_from_utf8(dir + "события.txt");
    ASSERT_TRUE(library::write_file_atomically(log, "Запуск"));
    // A name joined as a plain char literal would be read in the ANSI code page on Windows.
    ASSERT_TRUE(library::write_file_atomically(
        library::path_from_utf8(dir) / library::path_from_utf8("хроматограф.ini"), "x"));

    EXPECT_EQ(names_in(library::path_from_utf8(dir)),
              (std::vector<std::string>{"события.txt", "хроматограф.ini"}));
    EXPECT_EQ(library::read_whole_file(log), "Запуск");
    EXPECT_EQ(library::utf8_from_path(log), dir + "события.txt");
}

TEST(PlatformLayers, an_atomic_file_is_the_old_or_the_new_content_and_leaves_no_temporary) {
    test::TempDir temp;
    const fs::path target = temp / "журнал.dat";
    ASSERT_TRUE(library::write_file_atomically(target, "old"));
    {
        library::AtomicFileWriter abandoned(target);
        ASSERT_TRUE(abandoned.write(std::string(100'000, 'n')));
        EXPECT_EQ(library::read_whole_file(target), "old");
    }  // dropped without commit, as in a crash before the rename
    EXPECT_EQ(library::read_whole_file(target), "old");

    library::AtomicFileWriter writer(target);
    ASSERT_TRUE(writer.write("new ") && writer.write("content"));
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(library::read_whole_file(target), "new content");
    EXPECT_EQ(names_in(temp.path()), std::vector<std::string>{"журнал.dat"});
}

TEST(PlatformLayers, a_named_lock_excludes_another_holder_until_its_last_unlock) {
    test::TempDir temp;
    library::LockObject first(temp / "замок.lock");
    library::LockObject second(temp / "замок.lock");
    ASSERT_TRUE(first.is_named());
    first.lock();
    first.lock();  // nested, as critical sections allow
    bool taken = true;
    std::thread other([&] { taken = second.try_lock(); });
    other.join();
    EXPECT_FALSE(taken);
    first.unlock();
    std::thread still([&] { taken = second.try_lock(); });
    still.join();
    EXPECT_FALSE(taken);
    first.unlock();
    EXPECT_TRUE(second.try_lock());
    EXPECT_FALSE(first.try_lock());
    second.unlock();
}

std::vector<analysis::GazResult> results(double value) {
    analysis::GazResult r;
    r.key = "метан_абс";
    r.concentration = value;
    return {r};
}

// Windows maps exactly the file and maps anew as it grows; a removal replaces the file,
// which it refuses while the file is mapped.
TEST(PlatformLayers, the_mapped_table_grows_row_by_row_and_survives_removal_and_clearing) {
    test::TempDir temp;
    library::ManualClock clock;
    storage::ResultsTable table(clock);
    const fs::path path = temp / "скважина" / "data.tim";
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(table.open(path));
    for (int i = 0; i < 30; ++i) {
        table.append(results(i), static_cast<float>(i));
        ASSERT_EQ(table.row_count(), i + 1);
        ASSERT_FLOAT_EQ(table.row(i)->values[0], static_cast<float>(i));
    }
    EXPECT_EQ(fs::file_size(path), 30 * storage::kRowSize);

    ASSERT_TRUE(table.delete_rows(10, 19, false));
    ASSERT_EQ(table.row_count(), 20);
    EXPECT_FLOAT_EQ(table.row(9)->values[0], 9.0F);
    EXPECT_FLOAT_EQ(table.row(10)->values[0], 20.0F);
    table.append(results(1000), 1000.0F);
    EXPECT_FLOAT_EQ(table.row(20)->values[0], 1000.0F);

    storage::ResultsTable reader(clock);
    ASSERT_TRUE(reader.open(path, true));  // another window reading the same table
    EXPECT_EQ(reader.row_count(), 21);
    reader.close();
    ASSERT_TRUE(table.clear());
    EXPECT_EQ(table.row_count(), 0);
    table.append(results(7), 7.0F);
    EXPECT_EQ(fs::file_size(path), storage::kRowSize);
}

std::string unique_mailslot() {
    std::random_device seed;
    return "\\\\.\\mailslot\\vetra-test-" + std::to_string(seed()) + std::to_string(seed());
}

TEST(PlatformLayers, mailslot_messages_arrive_one_by_one_byte_for_byte) {
    const std::string name = unique_mailslot();
    link::MailslotServer server(name, 1024);
    ASSERT_TRUE(server.is_valid());
    EXPECT_FALSE(server.read_next());  // a poll never waits

    const std::string with_zero("метан_абс=0,5\r\n\0", 17);
    const std::string cp1251_bytes("\xEC\xE5\xF2\xE0\xED=1");
    ASSERT_TRUE(link::mailslot_write(name, with_zero));
    ASSERT_TRUE(link::mailslot_write(name, cp1251_bytes));
    ASSERT_TRUE(link::mailslot_write(name, std::string(1024, 'x')));
    EXPECT_EQ(server.read_next(), with_zero);
    EXPECT_EQ(server.read_next(), cp1251_bytes);
    EXPECT_EQ(server.read_next(), std::string(1024, 'x'));
    EXPECT_FALSE(server.read_next());

    link::MailslotServer second(name, 1024);
    EXPECT_FALSE(second.is_valid());
    EXPECT_FALSE(second.read_next());
}

TEST(PlatformLayers, a_mailslot_nobody_owns_takes_no_message) {
    EXPECT_FALSE(link::mailslot_write(unique_mailslot(), "operation=start"));
}

}  // namespace
}  // namespace vetra
