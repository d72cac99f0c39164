#pragma once

#include <cstdio>
#include <filesystem>
#include <map>
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

// Whether the workbook can be read back here: the reading calls unzip, which a Windows build
// under Wine cannot start.
inline bool can_unzip() {
    static const bool found = !run_output("unzip -v").empty();
    return found;
}

// In a test body, after the export itself has been checked.
#define VETRA_SKIP_READING_WITHOUT_UNZIP() \
    if (!::vetra::test::can_unzip())       \
    GTEST_SKIP() << "no unzip here to read the workbook back"

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

// A cell as a spreadsheet reader sees it: its type ("n" number, "inlineStr", "s" ...), the
// number format its style names ("" for none) and its value or text.
struct XlsxCell {
    std::string type;
    std::string format;
    std::string value;
};

// The cells of the first sheet by reference ("A1"), read from the sheet's and the styles' XML.
inline std::map<std::string, XlsxCell> read_typed_cells(const std::filesystem::path& xlsx) {
    const auto part = [&](const char* name) {
        return run_output("unzip -p '" + xlsx.string() + "' " + name + " 2>/dev/null");
    };
    const std::string styles = part("xl/styles.xml");
    // numFmtId -> format code; the built-in ones are not written out.
    std::map<std::string, std::string> codes{{"1", "0"}, {"2", "0.00"}};
    static const std::regex numfmt("<numFmt numFmtId=\"([0-9]+)\" formatCode=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(styles.begin(), styles.end(), numfmt);
         it != std::sregex_iterator(); ++it) {
        codes[(*it)[1].str()] = xml_unescape((*it)[2].str());
    }
    std::vector<std::string> style_formats;  // by cellXfs index
    const auto xfs = styles.find("<cellXfs");
    static const std::regex xf("<xf numFmtId=\"([0-9]+)\"");
    if (xfs != std::string::npos) {
        const std::string part_xfs = styles.substr(xfs, styles.find("</cellXfs>", xfs) - xfs);
        for (auto it = std::sregex_iterator(part_xfs.begin(), part_xfs.end(), xf);
             it != std::sregex_iterator(); ++it) {
            style_formats.push_back(codes[(*it)[1].str()]);
        }
    }
    const std::string xml = part("xl/worksheets/sheet1.xml");
    static const std::regex cell("<c r=\"([A-Z]+[0-9]+)\"([^>]*?)(?:/>|>([\\s\\S]*?)</c>)");
    static const std::regex type("t=\"([a-zA-Z]+)\"");
    static const std::regex style("s=\"([0-9]+)\"");
    static const std::regex value("<(?:v|t)[^>]*>([\\s\\S]*?)</(?:v|t)>");
    std::map<std::string, XlsxCell> cells;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), cell); it != std::sregex_iterator();
         ++it) {
        const std::string attributes = (*it)[2].str();
        const std::string body = (*it)[3].str();
        XlsxCell c;
        std::smatch m;
        c.type = std::regex_search(attributes, m, type) ? m[1].str() : "n";
        if (std::regex_search(attributes, m, style)) {
            const auto index = static_cast<std::size_t>(std::stoi(m[1].str()));
            c.format = index < style_formats.size() ? style_formats[index] : "";
        }
        c.value = std::regex_search(body, m, value) ? xml_unescape(m[1].str()) : "";
        cells[(*it)[1].str()] = c;
    }
    return cells;
}

}  // namespace vetra::test
