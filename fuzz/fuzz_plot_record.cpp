// Any bytes as the plot record that run files and the history hold: the reader keeps to its
// caps whatever the counts say, and a record it read writes and reads back the same.
#include <cstdint>
#include <sstream>
#include <string>

#include "display/chromatogram_plot.h"
#include "storage/plot_record.h"

namespace {

void check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

std::string written(const vetra::display::ChromatogramPlot& plot) {
    std::ostringstream out;
    vetra::storage::write_plot(plot, out);
    return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    vetra::display::ChromatogramPlot plot;
    vetra::storage::read_plot(plot, in);
    check(plot.points.size() <= vetra::storage::kMaxRecordCount);
    check(plot.windows.size() <= vetra::storage::kMaxRecordCount);

    const std::string bytes = written(plot);
    std::istringstream again_in(bytes);
    vetra::display::ChromatogramPlot again;
    vetra::storage::read_plot(again, again_in);
    check(!again_in.fail());
    check(written(again) == bytes);
    return 0;
}
