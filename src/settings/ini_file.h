#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vetra::settings {

// An INI document with the semantics of the platform's private-profile routines:
// sections and keys are found without regard to case (the first of duplicates wins),
// a value in one pair of double quotes is returned without them, writing a key creates
// its section and key, and every line the program does not know survives a load/save
// round trip in its place. The text is UTF-8 in memory and cp1251 on disk; a save writes
// the whole file atomically.
class IniFile {
public:
    IniFile() = default;

    // Reads the file at `path` (a missing or unreadable file gives an empty document) and
    // remembers the path for `save`. False when the file exists but cannot be read.
    bool open(const std::filesystem::path& path);
    // The same for a path held as the program's UTF-8 text (a std::string would otherwise
    // become a path in the ANSI code page on Windows).
    bool open(const std::string& utf8_path);
    static IniFile from_text(std::string_view utf8_text);

    // Writes the document to the remembered path, atomically. False on failure, and
    // `error` (when given) says why.
    [[nodiscard]] bool save(std::error_code* error = nullptr) const;
    [[nodiscard]] bool save_as(const std::filesystem::path& path,
                               std::error_code* error = nullptr) const;

    const std::filesystem::path& path() const { return path_; }

    std::optional<std::string> read(std::string_view section, std::string_view key) const;
    std::string read_string(std::string_view section, std::string_view key,
                            std::string_view fallback) const;
    // Whole-text integer (decimal, "$" or "0x" hexadecimal); anything else gives `fallback`.
    std::int32_t read_integer(std::string_view section, std::string_view key,
                              std::int32_t fallback) const;
    bool read_bool(std::string_view section, std::string_view key, bool fallback) const;

    void write_string(std::string_view section, std::string_view key, std::string_view value);
    void write_integer(std::string_view section, std::string_view key, std::int32_t value);
    void write_bool(std::string_view section, std::string_view key, bool value);
    // The general number form with the system's decimal separator.
    void write_float(std::string_view section, std::string_view key, double value);

    void erase_section(std::string_view section);
    void erase_key(std::string_view section, std::string_view key);
    // Removes the keys of `section` that `drop` picks and puts `keys` (key, value) after its
    // last line that is not blank, in one pass: a list of thousands of keys saves in linear
    // time, not one search of the section per key.
    void replace_keys(std::string_view section, const std::function<bool(std::string_view)>& drop,
                      const std::vector<std::pair<std::string, std::string>>& keys);
    bool has_section(std::string_view section) const;
    std::vector<std::string> section_names() const;
    std::vector<std::string> key_names(std::string_view section) const;
    // Every key of `section` folded to lower case with its value as read() gives it (the
    // first of equal keys), for reading thousands of keys without a search each.
    std::unordered_map<std::string, std::string> read_section(std::string_view section) const;

    // The document as UTF-8 text with CR LF line ends, and as the bytes a save writes.
    std::string text() const;
    std::string bytes() const;

private:
    struct Range {
        std::size_t header;  // index of the "[section]" line
        std::size_t end;     // one past the section's last line
    };
    std::optional<Range> find_section(std::string_view section) const;
    std::optional<std::size_t> find_key(const Range& range, std::string_view key) const;
    // Re-reads the headers from line `first` on, after the lines from there changed.
    void index_sections(std::size_t first = 0);
    // Moves the headers at or after line `from` by `by` lines, after non-header lines
    // were inserted or removed there.
    void shift_sections(std::size_t from, std::ptrdiff_t by);

    std::vector<std::string> lines_;
    // Where each "[section]" line is and its name folded: a lookup walks the sections, not
    // every line, and folds only the name it is given.
    struct Header {
        std::size_t line;
        std::string folded;
    };
    std::vector<Header> headers_;
    std::filesystem::path path_;
};

}  // namespace vetra::settings
