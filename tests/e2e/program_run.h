#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace vetra::e2e {

struct Outcome {
    int status = -1;  // exit status; -1 when killed or not finished in time
    std::string out;
    std::string err;
};

// One built program running in a sandbox: its own mailslot directory and home, so that
// parallel tests and the user's own files stay apart; stdout and stderr go to the files
// `<name>.out` and `<name>.err` in the sandbox. A program still running when the object
// goes away is killed.
class ProgramRun {
public:
    // `env` adds NAME=VALUE entries to the sandbox's environment.
    ProgramRun(const test::TempDir& sandbox, const std::string& name, const std::string& program,
               const std::vector<std::string>& args, const std::vector<std::string>& env = {});
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    bool started() const { return pid_ > 0; }
    // Still running: not ended, or ended but not yet waited for.
    bool running() const;
    std::string out_so_far() const { return test::read_bytes(out_path_); }
    std::string err_so_far() const { return test::read_bytes(err_path_); }
    void signal(int number) const;

    // Waits for the end within `limit`; a program that overruns it fails the test and is
    // killed.
    Outcome wait(std::chrono::milliseconds limit);

private:
    std::filesystem::path out_path_;
    std::filesystem::path err_path_;
    std::string name_;
    pid_t pid_ = -1;
};

// Polls `ready` every 20 ms until it holds or `limit` has passed; returns its last answer.
bool wait_until(const std::function<bool()>& ready, std::chrono::milliseconds limit);

std::size_t count_of(const std::string& text, const std::string& part);

// The program directory's settings file as text (it is stored in cp1251), and writing it
// from UTF-8 text, the directory made first.
std::string settings_text(const std::filesystem::path& program_dir);
void write_settings(const std::filesystem::path& program_dir, const std::string& utf8);

}  // namespace vetra::e2e
