#pragma once

#include <boost/signals2/signal.hpp>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace vetra::library {

// Where every writer of the program's files says how each write went. The first failure of
// a file opens a failure spell, raised once through `spell_began`, however many writes fail
// after it; the next write of that file that succeeds ends the spell (`spell_ended`). So a
// full disk or a read-only folder is told once per file, not at every result, and its end is
// seen too. Writers retry on their next write. Reports may come from any thread; the
// notifications run on the reporting thread, outside the reporter's lock.
class FileReporter {
public:
    // `file` is the path as text; `error` says why when `ok` is false.
    void report(const std::string& file, bool ok, const std::string& error = {});
    void report(const std::string& file, bool ok, std::error_code error);

    bool failing(const std::string& file) const;
    std::vector<std::string> failing_files() const;
    // Spells begun since start-up: anything but 0 means a result or file was not stored.
    int spells() const;

    boost::signals2::signal<void(const std::string& file, const std::string& error)> spell_began;
    boost::signals2::signal<void(const std::string& file)> spell_ended;

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> failing_;  // file, the error that opened its spell
    int spells_ = 0;
};

// The operator's texts for a spell's beginning and end.
std::string file_failure_text(const std::string& file, const std::string& error);
std::string file_recovered_text(const std::string& file);

}  // namespace vetra::library
