// Any bytes as "calibr.ini", read as the calibration store reads it: the points keep to the
// list's cap and to the fields their lines hold, every concentration is a finite number, and
// once saved the calibration reads and saves back the same. The first byte is the gas count.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "analysis/etalon_storage.h"
#include "library/cp1251.h"
#include "settings/ini_file.h"

namespace {

void check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

std::string saved(vetra::analysis::EtalonStorage& storage) {
    vetra::settings::IniFile file;
    storage.save(file);
    return file.text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const int gases = data[0] % 20;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto file = vetra::settings::IniFile::from_text(vetra::library::cp1251_to_utf8(bytes));

    vetra::analysis::EtalonStorage storage;
    storage.set_gas_count([gases] { return gases; });
    storage.load(file);
    check(storage.points().size() <= vetra::settings::IniList::kMaxItems);
    for (const auto& point : storage.points()) {
        // A pair costs two fields of the line, so no line asks for more than it holds.
        check(point.pairs.size() <= static_cast<std::size_t>(std::max(gases, 0)) + size / 2);
        check(point.pairs.size() >= static_cast<std::size_t>(gases));
    }
    for (int gas = -1; gas <= gases; ++gas) {
        for (const double area : {0.0, 1.5, 1e6, -3.0}) {
            check(std::isfinite(storage.concentration(gas, area)));
        }
    }

    const std::string first = saved(storage);
    vetra::analysis::EtalonStorage again;
    again.set_gas_count([gases] { return gases; });
    again.load(vetra::settings::IniFile::from_text(first));
    check(again.points().size() == storage.points().size());
    check(saved(again) == first);
    return 0;
}
