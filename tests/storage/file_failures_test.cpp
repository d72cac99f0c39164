// Writers that cannot write: what is lost is said once per file, and writing resumes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "library/clock.h"
#include "library/file_reporter.h"
#include "settings/global_settings.h"
#include "storage/event_log.h"
#include "storage/results_table.h"
#include "storage/text_data_writer.h"
#include "support/temp_dir.h"

using namespace vetra;
namespace fs = std::filesystem;

namespace {

std::vector<analysis::GazResult> results(double value) {
    return {{0, "метан", "", "метан_абс", "", "C1", value, 0, 0, false},
            {0, "сумм_газ", "", "сумм_газ", "", "GS", value, 0, 0, true}};
}

// A directory where the table and the journal should be and a text data file that is
// /dev/full: a read-only folder and a full disk, as they look to a writer run by anyone.
TEST(FileFailures, each_file_is_reported_once_per_spell_and_writing_resumes_when_it_is_free) {
    test::TempDir dir;
    library::ManualClock clock{{2011, 3, 5, 14, 7, 0, 0}};
    library::FileReporter files;
    std::vector<std::string> began;
    std::vector<std::string> ended;
    files.spell_began.connect(
        [&](const std::string& f, const std::string&) { began.push_back(f); });
    files.spell_ended.connect([&](const std::string& f) { ended.push_back(f); });

    const fs::path table_path = dir / "data.tim";
    fs::create_directory(table_path);
    storage::ResultsTable table(clock);
    table.set_reporter(&files);
    EXPECT_FALSE(table.open(table_path));

    storage::EventLog journal(clock);
    journal.set_reporter(&files);
    journal.attach((dir / "события.txt").string());
    fs::create_directory(dir / "события.txt");

    storage::TextDataWriter text(clock);
    text.reporter = &files;
    text.set_directory(dir / "TextData");
    text.short_date = [](const library::LocalTime&) { return "05.03.2011"; };
    fs::create_directory(dir / "TextData");
    fs::create_symlink("/dev/full", dir / "TextData" / "05.03.2011.txt");

    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(table.append(results(i), 0));
        journal.add("строка " + std::to_string(i));
        EXPECT_FALSE(text.write(results(i), 0));
    }
    const std::vector<std::string> expected = {table_path.string(), (dir / "события.txt").string(),
                                               (dir / "TextData" / "05.03.2011.txt").string()};
    EXPECT_EQ(began, expected);
    EXPECT_EQ(files.spells(), 3);
    EXPECT_TRUE(ended.empty());

    // Space returns: the next write of each goes through and ends its spell.
    fs::remove(table_path);
    fs::remove(dir / "события.txt");
    fs::remove(dir / "TextData" / "05.03.2011.txt");
    EXPECT_TRUE(table.append(results(7), 0));
    EXPECT_EQ(table.row_count(), 1);
    EXPECT_EQ(table.row(0)->values[0], 7.0f);
    journal.add("место есть");
    EXPECT_EQ(journal.lines().size(), 4u);  // the lines of the spell are saved too
    EXPECT_EQ(test::read_bytes(dir / "события.txt").size() > 0, true);
    EXPECT_TRUE(text.write(results(7), 0));
    EXPECT_EQ(ended, expected);
    EXPECT_TRUE(files.failing_files().empty());
    EXPECT_EQ(files.spells(), 3);
}

// Two processes on one program directory (a second window with "-d") append to one table.
TEST(FileFailures, forked_writers_of_one_table_lose_no_row) {
    test::TempDir dir;
    const fs::path path = dir / "data.tim";
    constexpr int kRows = 5000;
    std::vector<pid_t> writers;
    for (int w = 1; w <= 2; ++w) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            library::ManualClock clock;
            storage::ResultsTable table(clock);
            bool ok = table.open(path);
            for (int r = 0; r < kRows && ok; ++r) {
                ok = table.append(results(w), static_cast<float>(w));
            }
            ::_exit(ok ? 0 : 1);
        }
        ASSERT_GT(pid, 0);
        writers.push_back(pid);
    }
    for (const pid_t pid : writers) {
        int status = -1;
        ::waitpid(pid, &status, 0);
        EXPECT_EQ(status, 0);
    }
    library::ManualClock clock;
    storage::ResultsTable table(clock);
    ASSERT_TRUE(table.open(path, true));
    ASSERT_EQ(table.row_count(), 2 * kRows);
    int rows_of[3] = {};
    for (int r = 0; r < table.row_count(); ++r) {
        const auto row = table.row(r);
        ASSERT_TRUE(row && (row->depth == 1.0f || row->depth == 2.0f) &&
                    row->values[0] == row->depth && row->values[1] == row->depth)
            << "row " << r;
        ++rows_of[static_cast<int>(row->depth)];
    }
    EXPECT_EQ(rows_of[1], kRows);
    EXPECT_EQ(rows_of[2], kRows);
}

// A disk that fills in the middle of a line (here a file-size limit, in a child so the limit
// stays there): the part written is not taken for the whole line, and is cut off again so the
// next line starts where a line should.
TEST(FileFailures, a_line_cut_short_is_a_failure_and_leaves_no_part_behind) {
    test::TempDir dir;
    const fs::path path = dir / "05.03.2011.txt";
    test::write_bytes(path, "заголовок\r\n");
    const auto before = fs::file_size(path);
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{before + 10, before + 10};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::error_code error = storage::append_to_file(path, std::string(100, 'x'));
        ::_exit(error == std::errc::no_space_on_device ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(fs::file_size(path), before);
    EXPECT_FALSE(storage::append_to_file(path, "строка\r\n"));
    EXPECT_EQ(test::read_bytes(path), "заголовок\r\nстрока\r\n");
}

// A second program on the directory deletes rows while this one appends: the remover holds
// the appenders off from its last look at the size through the rename, and an appender that
// wakes up holding the replaced file appends to the new one.
TEST(FileFailures, rows_appended_while_another_process_deletes_rows_are_all_kept) {
    test::TempDir dir;
    const fs::path path = dir / "data.tim";
    constexpr int kSeed = 200;
    constexpr int kAppends = 400;
    constexpr int kDeletes = 120;
    {
        library::ManualClock clock;
        storage::ResultsTable table(clock);
        ASSERT_TRUE(table.open(path));
        for (int r = 0; r < kSeed; ++r) {
            ASSERT_TRUE(table.append(results(0), 0));
        }
    }
    const pid_t appender = ::fork();
    if (appender == 0) {
        library::ManualClock clock;
        storage::ResultsTable table(clock);
        bool ok = table.open(path);
        for (int r = 0; r < kAppends && ok; ++r) {
            ok = table.append(results(1), 1);
            ::usleep(300);
        }
        ::_exit(ok ? 0 : 1);
    }
    ASSERT_GT(appender, 0);
    {
        library::ManualClock clock;
        storage::ResultsTable table(clock);
        ASSERT_TRUE(table.open(path));
        for (int d = 0; d < kDeletes; ++d) {
            table.check();
            EXPECT_TRUE(table.delete_rows(0, 0, false)) << "delete " << d;
            ::usleep(900);
        }
    }
    int status = -1;
    ::waitpid(appender, &status, 0);
    EXPECT_EQ(status, 0);
    library::ManualClock clock;
    storage::ResultsTable table(clock);
    ASSERT_TRUE(table.open(path, true));
    ASSERT_EQ(table.row_count(), kSeed + kAppends - kDeletes);
    int appended = 0;
    for (int r = 0; r < table.row_count(); ++r) {
        appended += table.row(r)->depth == 1.0f;
    }
    EXPECT_EQ(appended, kAppends);
}

// A save during the session (a mode switch, a dialog's OK) on a full disk is told to the
// reporter like every other write, and so reaches the status line and the journal.
TEST(FileFailures, a_settings_save_that_fails_is_reported) {
    test::TempDir dir;
    const std::string path = (dir / "хроматограф.ini").string();
    test::write_bytes(path, "[VetraSystem]\r\nwork_mode=00000000\r\n");
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        settings::GlobalSettings settings;
        library::FileReporter files;
        settings.set_reporter(&files);
        settings.settings_path = path;
        const rlimit limit{16, 16};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool saved = settings.save();
        ::_exit(!saved && files.failing(path) && files.spells() == 1 ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::read_bytes(path), "[VetraSystem]\r\nwork_mode=00000000\r\n");
}

}  // namespace
