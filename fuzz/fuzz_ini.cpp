// Any text as an INI document, read by the engine straight from memory: finding sections and
// keys, writing and erasing them must neither crash nor lose what the program wrote, and a
// document saved and read again must read the same. The full settings record over the same
// engine is fuzz_settings_file.
#include <cstdint>
#include <string>
#include <string_view>

#include "library/cp1251.h"
#include "settings/ini_file.h"

namespace {

void check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

// Bounded, so a long input costs its length, not its length squared.
constexpr std::size_t kNamesLooked = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto file = vetra::settings::IniFile::from_text(text);

    const auto sections = file.section_names();
    for (std::size_t s = 0; s < sections.size() && s < kNamesLooked; ++s) {
        check(file.has_section(sections[s]));
        const auto keys = file.key_names(sections[s]);
        for (std::size_t k = 0; k < keys.size() && k < kNamesLooked; ++k) {
            (void)file.read_integer(sections[s], keys[k], 0);
        }
    }

    // Names compare as their folded texts do.
    if (sections.size() > 1) {
        using vetra::library::equals_ignore_case;
        using vetra::library::to_lower;
        check(equals_ignore_case(sections[0], sections[1]) ==
              (to_lower(sections[0]) == to_lower(sections[1])));
    }

    // Any section and key can be removed.
    if (sections.size() > 1) {
        file.erase_section(sections.back());
        file.erase_key(sections.front(), "size");
    }

    // What the program writes it reads back, whatever the document held before.
    file.write_string("порт", "имя_порта", "COM3");
    file.write_integer("порт", "device_type", -7);
    file.write_float("экран", "масштаб", 2.5);
    check(file.read_string("порт", "имя_порта", "") == "COM3");
    check(file.read_integer("порт", "device_type", 0) == -7);

    // Saved and read again, the document reads the same and saves the same.
    const std::string saved = file.text();
    const auto again = vetra::settings::IniFile::from_text(saved);
    check(again.text() == saved);
    check(again.read_string("порт", "имя_порта", "") == "COM3");
    check(again.read_integer("порт", "device_type", 0) == -7);
    return 0;
}
