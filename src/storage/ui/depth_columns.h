#pragma once

#include <QString>
#include <cstdint>
#include <filesystem>
#include <unordered_map>
#include <vector>

#include "analysis/gas_shows.h"
#include "storage/row_depths.h"

namespace vetra::storage::ui {

// The columns the program keeps beside the table's own, from its own files in the well folder:
// the class of the show a row belongs to and the bit depth at the moment of its analysis.
class DepthColumns {
public:
    static constexpr int kCount = 2;

    // `shows` (may be null) must outlive this.
    void set_sources(std::filesystem::path row_depths, const std::vector<analysis::GasShow>* shows);
    // Rereads the row depths when their file changed since the last look.
    void refresh();

    static QString header(int column);
    // The column's text for the table's row `index` with `stamp`; "" when nothing is known.
    QString text(int column, int index, std::uint32_t stamp, float depth) const;

private:
    const RowDepth* record(int index, std::uint32_t stamp) const;

    std::filesystem::path path_;
    const std::vector<analysis::GasShow>* shows_ = nullptr;
    std::uintmax_t size_ = ~std::uintmax_t{0};
    std::vector<RowDepth> records_;
    std::unordered_map<std::uint32_t, std::size_t> by_stamp_;
};

}  // namespace vetra::storage::ui
