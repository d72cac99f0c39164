#pragma once

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace vetra::test {

// The command's standard output.
inline std::string run_output(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[65536];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, n);
        }
        ::pclose(pipe);
    }
    return out;
}

inline std::string xml_unescape(const std::string& text) {
    static const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    std::string out = text;
    for (const auto& [from, to] : entities) {
        for (std::size_t at = out.find(from); at != std::string::npos;
             at = out.find(from, at + std::string(to).size())) {
            out.replace(at, std::string(from).size(), to);
        }
    }
    return out;
}

// The first sheet of a workbook as a grid of cell texts, read the way any reader would:
// unzip the sheet's XML and take every cell's text by its reference (A1, B1 ...).
inline std::vector<std::vector<std::string>> read_first_sheet(const std::filesystem::path& xlsx) {
    const std::string xml =
        run_output("unzip -p '" + xlsx.string() + "' xl/worksheets/sheet1.xml 2>/dev/null");
    std::vector<std::vector<std::string>> grid;
    static const std::regex cell(R"re(<c r="([A-Z]+)([0-9]+)"[^>]*?(?:/>|>([\s\S]*?)</c>))re");
    static const std::regex text(R"re(<t[^>]*>([\s\S]*?)</t>)re");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), cell); it != std::sregex_iterator();
         ++it) {
        int column = 0;
        for (const char c : (*it)[1].str()) {
            column = column * 26 + (c - 'A' + 1);
        }
        const auto row = static_cast<std::size_t>(std::stoi((*it)[2].str()) - 1);
        std::smatch t;
        const std::string body = (*it)[3].str();
        const std::string value =
            std::regex_search(body, t, text) ? xml_unescape(t[1].str()) : std::string();
        if (grid.size() <= row) {
            grid.resize(row + 1);
        }
        auto& cells = grid[row];
        if (cells.size() < static_cast<std::size_t>(column)) {
            cells.resize(static_cast<std::size_t>(column));
        }
        cells[static_cast<std::size_t>(column - 1)] = value;
    }
    return grid;
}

}  // namespace vetra::test
