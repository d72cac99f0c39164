#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/gaz_result.h"
#include "library/clock.h"
#include "storage/results_table.h"

namespace vetra::bench {

// A results table of `rows` rows in `dir`: six gases, the total and six relative values
// (13 columns, 15 with depth and date), written straight to "data.tim" so a million rows
// take a second to make, then opened as the window opens it.
inline std::filesystem::path make_results_file(const std::filesystem::path& dir, int rows) {
    const std::filesystem::path path = dir / storage::kTableFileName;
    {
        library::SystemClock clock;
        storage::ResultsTable table(clock);
        table.open(path);
        std::vector<analysis::GazResult> list;
        for (const char* name : {"метан", "этан", "пропан", "бутан", "пентан", "гексан"}) {
            list.push_back({0, name, "", std::string(name) + "_абс", "", "", 1, 0, 0, false});
        }
        list.push_back({0, "сумм_газ", "", "сумм_газ", "", "GS", 6, 0, 0, true});
        for (const char* name : {"метан", "этан", "пропан", "бутан", "пентан", "гексан"}) {
            const std::string relative = std::string(name) + "_отн";
            list.push_back({0, relative, "", relative, "", "", 16.7, 0, 0, true});
        }
        table.append(list, 1000.f);  // the column file
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::vector<unsigned char> chunk;
    unsigned char bytes[storage::kRowSize];
    for (int r = 0; r < rows; ++r) {
        storage::TableRow row;
        row.stamp = 1765184400u + 86400u + static_cast<unsigned>(r) * 60u;
        row.depth = r % 50 == 0 ? 0.f : 1000.f + static_cast<float>(r) * 0.1f;
        for (int v = 0; v < 13; ++v) {
            row.values[static_cast<std::size_t>(v)] =
                static_cast<float>((r * 31 + v * 7) % 1000) / 97.f;
        }
        storage::encode_row(row, bytes);
        chunk.insert(chunk.end(), bytes, bytes + sizeof bytes);
        if (chunk.size() > (1u << 20) || r + 1 == rows) {
            std::fwrite(chunk.data(), 1, chunk.size(), file);
            chunk.clear();
        }
    }
    std::fclose(file);
    return path;
}

}  // namespace vetra::bench
