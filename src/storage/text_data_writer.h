#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "analysis/gaz_result.h"
#include "library/clock.h"
#include "library/file_reporter.h"

namespace vetra::storage {

// The system's short date and long time formats, taken from the locale the environment names
// (not the process locale, so the window and vetra-console name their files alike).
std::string system_short_date(const library::LocalTime& t);
std::string system_long_time(const library::LocalTime& t);

// Adds bytes at the end of a file, creating it; nothing when all of them were written, else
// why not.
std::error_code append_to_file(const std::filesystem::path& path, std::string_view bytes);
// A date text as a file name: characters a file name cannot hold become '-'.
std::string file_name_safe(std::string text);

// Lines of the text data file, each without its CR LF.
std::string text_data_header(const std::vector<analysis::GazResult>& results, bool science);
std::string text_data_line(const std::vector<analysis::GazResult>& results, float depth,
                           const std::string& time, bool science);

// Writes one line per published result list to a plain-text file per day in "TextData":
// fixed widths, CR LF, cp1251. A header line starts every new writer, follows every change of
// the gas list and opens every new file.
class TextDataWriter {
public:
    explicit TextDataWriter(const library::Clock& clock);

    void set_directory(std::filesystem::path directory) { directory_ = std::move(directory); }
    const std::filesystem::path& directory() const { return directory_; }
    // Whether the areas of the gases are written too.
    std::function<bool()> save_science_values;
    // Replaceable for tests; the system's formats by default.
    std::function<std::string(const library::LocalTime&)> short_date = system_short_date;
    std::function<std::string(const library::LocalTime&)> long_time = system_long_time;

    // Told how every write went; none by default.
    library::FileReporter* reporter = nullptr;

    // The listener on the calculator's results. False when the line could not be written.
    bool write(const std::vector<analysis::GazResult>& results, float depth);
    // The listener on the gas list's changes.
    void mark_header() { header_due_ = true; }
    std::filesystem::path file_for(const library::LocalTime& t) const;

private:
    const library::Clock& clock_;
    std::filesystem::path directory_;
    bool header_due_ = true;
};

}  // namespace vetra::storage
