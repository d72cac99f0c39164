// One run of a built program inside a sandbox directory: its own mailslot directory and
// home, so that parallel tests, a running workstation and the user's own files stay apart.
// Programs started with the same sandbox share the mailslot directory and so meet there.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

extern char** environ;

namespace vetra::e2e {

struct Outcome {
    int status = -1;  // exit status; -1 when killed or not finished in time
    std::string out;
    std::string err;
};

class ProgramRun {
public:
    // `tag` names the files that keep the program's stdout and stderr in the sandbox.
    ProgramRun(const test::TempDir& sandbox, const std::string& tag, const std::string& program,
               const std::vector<std::string>& args)
        : program_(program),
          out_path_(sandbox / (tag + ".out")),
          err_path_(sandbox / (tag + ".err")) {
        std::vector<std::string> env_text;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (!entry.starts_with("VETRA_") && !entry.starts_with("HOME=")) {
                env_text.push_back(entry);
            }
        }
        env_text.push_back("VETRA_MAILSLOT_DIR=" + mailslot_dir(sandbox).string());
        env_text.push_back("HOME=" + sandbox.path().string());

        std::vector<std::string> argv_text{program};
        argv_text.insert(argv_text.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argv_text) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : env_text) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }

    ~ProgramRun() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    static std::filesystem::path mailslot_dir(const test::TempDir& sandbox) {
        return sandbox / "mailslot";
    }

    bool started() const { return pid_ > 0; }
    std::string out_so_far() const { return test::read_bytes(out_path_); }
    std::string err_so_far() const { return test::read_bytes(err_path_); }
    void signal(int number) const {
        if (pid_ > 0) {
            ::kill(pid_, number);
        }
    }

    // Polls the program's stdout or stderr until `text` shows up; false after `limit`.
    bool wait_for_out(const std::string& text, std::chrono::milliseconds limit) const {
        return wait_until([&] { return out_so_far().find(text) != std::string::npos; }, limit);
    }
    bool wait_for_err(const std::string& text, std::chrono::milliseconds limit) const {
        return wait_until([&] { return err_so_far().find(text) != std::string::npos; }, limit);
    }

    // Waits for the end within `limit`; a program that overruns it fails the test and is
    // killed.
    Outcome wait(std::chrono::milliseconds limit) {
        Outcome outcome;
        const auto end = std::chrono::steady_clock::now() + limit;
        int raw = 0;
        while (pid_ > 0) {
            const pid_t done = ::waitpid(pid_, &raw, WNOHANG);
            if (done == pid_) {
                pid_ = -1;
                if (WIFEXITED(raw)) {
                    outcome.status = WEXITSTATUS(raw);
                }
                break;
            }
            if (std::chrono::steady_clock::now() >= end) {
                ADD_FAILURE() << program_ << " did not end within the time limit";
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        outcome.out = out_so_far();
        outcome.err = err_so_far();
        return outcome;
    }

private:
    template <typename Done>
    static bool wait_until(Done done, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    std::string program_;
    std::filesystem::path out_path_;
    std::filesystem::path err_path_;
    pid_t pid_ = -1;
};

inline std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

}  // namespace vetra::e2e
