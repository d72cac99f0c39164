#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "library/file_reporter.h"
#include "settings/ini_file.h"

namespace vetra::settings {

// Colour values are stored as the platform's 32-bit colours (0x00BBGGRR), written signed.
using Colour = std::int32_t;

enum class BindingKind { integer, colour, boolean, single, real, text, bytes };

// One setting: where it lives in memory, where in the file, and how it is encoded.
struct Binding {
    using Target =
        std::variant<std::int32_t*, bool*, float*, double*, std::string*, std::uint8_t*,
                     std::atomic<std::int32_t>*, std::atomic<bool>*, std::atomic<float>*>;
    std::string section;
    std::string key;
    BindingKind kind;
    Target target;
    std::size_t size = 0;  // byte blocks only

    void read(const IniFile& file) const;
    void write(IniFile& file) const;
};

// The registration list a settings group fills, once per load and once per save.
class BindingList {
public:
    void add_integer(std::int32_t* value, std::string_view section, std::string_view key);
    void add_integer(std::atomic<std::int32_t>* value, std::string_view section,
                     std::string_view key);
    void add_colour(Colour* value, std::string_view section, std::string_view key);
    void add_bool(bool* value, std::string_view section, std::string_view key);
    void add_bool(std::atomic<bool>* value, std::string_view section, std::string_view key);
    void add_float(float* value, std::string_view section, std::string_view key);
    void add_float(std::atomic<float>* value, std::string_view section, std::string_view key);
    void add_double(double* value, std::string_view section, std::string_view key);
    void add_text(std::string* value, std::string_view section, std::string_view key);
    void add_bytes(void* value, std::size_t size, std::string_view section, std::string_view key);
    // The shorthand for a 32-bit integer kept as a block of 4 bytes ("01000000" is 1).
    void add_int_block(std::int32_t* value, std::string_view section, std::string_view key);

    const std::vector<Binding>& bindings() const { return bindings_; }

private:
    void add(BindingKind kind, Binding::Target target, std::string_view section,
             std::string_view key, std::size_t size = 0);
    std::vector<Binding> bindings_;
};

// Byte blocks as text: N pairs of upper-case hexadecimal digits, byte 0 first.
std::string bytes_to_hex(const std::uint8_t* data, std::size_t size);
// Only a text of exactly 2 x size characters is taken; an invalid pair gives 0.
bool hex_to_bytes(std::string_view text, std::uint8_t* data, std::size_t size);

// A settings group: declares its bindings once, and the framework loads or saves all
// of them. Every read takes the value in memory as its default, so a missing key keeps
// whatever the group held before.
class IniOptions {
public:
    virtual ~IniOptions() = default;

    // The path is trimmed; an empty path does nothing.
    void load(std::string_view path);
    // Keeps every other section and key of the file; false when the file cannot be written
    // (nor read, since a file that cannot be read is not replaced by one that lacks its other
    // sections). Told to the reporter, when there is one.
    bool save(std::string_view path);
    void load(const IniFile& file);
    void save(IniFile& file);

    const std::string& file_path() const { return path_; }
    void set_reporter(library::FileReporter* reporter) { reporter_ = reporter; }

protected:
    virtual void register_bindings(BindingList& list) = 0;
    virtual void after_save(IniFile& file);
    virtual void after_load(const IniFile& file);
    virtual void before_save(IniFile& file);
    virtual void before_load(const IniFile& file);

private:
    std::string path_;
    library::FileReporter* reporter_ = nullptr;
};

}  // namespace vetra::settings
