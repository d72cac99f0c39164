#pragma once

#include <boost/signals2/signal.hpp>
#include <string>
#include <vector>

#include "library/datetime.h"
#include "library/file_reporter.h"

namespace vetra::library {
class Clock;
}

namespace vetra::storage {

inline constexpr const char* kEventLogFileName = "события.txt";
inline constexpr int kEventLogKeep = 256;  // lines kept before each new one

// "[9:05:07 7.12.2026]     ": the stamp before each non-empty journal line.
std::string event_stamp(const library::LocalTime& t);

// The operator's journal: time-stamped lines, oldest first, at most 257, kept in a cp1251
// text file. Each added line is saved at once (whole file, temporary file and rename), so a
// crash or power cut loses nothing that was shown.
class EventLog {
public:
    explicit EventLog(const library::Clock& clock) : clock_(clock) {}

    // Remembers the path and loads the lines the file holds (none when it is missing).
    void attach(std::string path);
    // Drops lines from the front while more than 256 are held, appends the text stamped
    // with the local time (an empty text as an empty line), then saves.
    void add(const std::string& text);
    // Empties the list; the caller adds the line that says so, which saves it.
    void clear();
    // False when the file could not be written; the lines stay as they are, and the next
    // save writes them too.
    bool save() const;
    // Told how every save went; none by default.
    void set_reporter(library::FileReporter* reporter) { reporter_ = reporter; }

    const std::vector<std::string>& lines() const { return lines_; }
    const std::string& path() const { return path_; }

    // Raised after every change of the lines.
    boost::signals2::signal<void()> changed;

private:
    const library::Clock& clock_;
    library::FileReporter* reporter_ = nullptr;
    std::string path_;
    std::vector<std::string> lines_;
};

}  // namespace vetra::storage
