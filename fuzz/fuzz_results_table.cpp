// "data.tim" and "inpgti.nbl" as another program may have left them: any size, any bytes.
// The table opens them, shows its first and last rows in both column orders, takes an edit,
// a deletion and an append, and never crashes.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "library/clock.h"
#include "storage/results_table.h"
#include "storage/results_table_text.h"

namespace {

const std::filesystem::path& directory() {
    // In memory where there is such a place: every deletion and new column list is synced.
    static const std::filesystem::path dir = [] {
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = base / "fuzz_table_XXXXXX";
        return std::filesystem::path(::mkdtemp(pattern.data()));
    }();
    static const struct Remover {
        ~Remover() {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        }
    } remover;
    return dir;
}

void write(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void show(const vetra::storage::ResultsTableText& text, int first, int last) {
    for (int r = first; r < last && r < text.row_count(); ++r) {
        for (int c = 0; c < text.column_count(); ++c) {
            (void)text.cell_text(r, c);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    (void)vetra::storage::decode_columns(bytes);

    // The first two bytes choose where the column file ends and the table begins.
    const std::size_t split = (data[0] | (data[1] << 8)) % (bytes.size() + 1);
    write(directory() / "inpgti.nbl", bytes.substr(0, split));
    write(directory() / "data.tim", bytes.substr(split));

    vetra::library::ManualClock clock;
    vetra::storage::ResultsTable table(clock);
    (void)table.open(directory() / "data.tim");
    vetra::storage::ResultsTableText text(table);
    for (bool reverse : {false, true}) {
        text.set_reverse_mode(reverse);
        show(text, 0, 8);
        show(text, text.row_count() - 4, text.row_count());
    }
    (void)text.set_cell(0, 0, "12,5");
    (void)text.set_cell(0, text.column_count() - 1, "1");
    (void)table.delete_rows(0, 1, (data[0] & 1) != 0);
    vetra::analysis::GazResult r;
    r.name = "сумм_газ";
    r.concentration = 1;
    table.append({r, r}, 1.f);
    show(text, 0, text.row_count());
    return 0;
}
