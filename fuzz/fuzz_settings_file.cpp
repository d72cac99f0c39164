// Any byte sequence as "хроматограф.ini", end to end: parsing, reading every setting and
// writing the document back must neither crash nor change what a second load reads.
#include <cstdint>
#include <string>

#include "library/cp1251.h"
#include "settings/global_settings.h"
#include "settings/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    auto file = vetra::settings::IniFile::from_text(vetra::library::cp1251_to_utf8(bytes));
    vetra::settings::GlobalSettings first;
    first.load(file);
    first.save(file);
    vetra::settings::GlobalSettings second;
    second.load(file);
    if (first.port_name != second.port_name || first.times != second.times ||
        first.device_type != second.device_type) {
        __builtin_trap();
    }
    return 0;
}
