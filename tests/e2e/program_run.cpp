#include "program_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "library/cp1251.h"

extern char** environ;

namespace vetra::e2e {

using namespace std::chrono_literals;

ProgramRun::ProgramRun(const test::TempDir& sandbox, const std::string& name,
                       const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& env)
    : out_path_(sandbox / (name + ".out")), err_path_(sandbox / (name + ".err")), name_(name) {
    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (!entry.starts_with("VETRA_") && !entry.starts_with("HOME=")) {
            env_text.push_back(entry);
        }
    }
    env_text.push_back("VETRA_MAILSLOT_DIR=" + (sandbox / "mailslot").string());
    env_text.push_back("HOME=" + sandbox.path().string());
    env_text.insert(env_text.end(), env.begin(), env.end());

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
    posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

ProgramRun::~ProgramRun() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool ProgramRun::running() const {
    if (pid_ <= 0) {
        return false;
    }
    siginfo_t info{};
    // WNOWAIT leaves an ended program for wait() to collect.
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        return false;
    }
    return info.si_pid == 0;
}

void ProgramRun::signal(int number) const {
    if (pid_ > 0) {
        ::kill(pid_, number);
    }
}

Outcome ProgramRun::wait(std::chrono::milliseconds limit) {
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
            ADD_FAILURE() << name_ << " did not end within the time limit";
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    outcome.out = test::read_bytes(out_path_);
    outcome.err = test::read_bytes(err_path_);
    return outcome;
}

bool wait_until(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= end) {
            return ready();
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

std::string settings_text(const std::filesystem::path& program_dir) {
    return library::cp1251_to_utf8(test::read_bytes(program_dir / "хроматограф.ini"));
}

void write_settings(const std::filesystem::path& program_dir, const std::string& utf8) {
    std::filesystem::create_directories(program_dir);
    test::write_bytes(program_dir / "хроматограф.ini", library::utf8_to_cp1251(utf8));
}

}  // namespace vetra::e2e
