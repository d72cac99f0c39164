#pragma once

#include <iosfwd>

#include "display/chromatogram_plot.h"

namespace vetra::storage {

// The plot record: how run files and the history store a chromatogram plot. Little-endian;
// texts are cp1251 and end with one zero byte.
inline constexpr int kMaxRecordCount = 2000;  // points or windows a record may hold
inline constexpr int kMaxTextBytes = 255;

// Message, colours, points (24 bytes each) and gas windows. A text longer than a reader
// accepts is cut to kMaxTextBytes, so that every record written can be read back.
void write_plot(const display::ChromatogramPlot& plot, std::ostream& out);

// Reads one record over `plot`. A count above kMaxRecordCount (or below 0) ends the record
// there, the fields read so far replaced and the rest left as they were; a record that
// stops early leaves the stream failed and values not read as they were. Never allocates
// beyond the limits above, whatever the input.
// `max_points` raises the limit for points (a re-run reads whole run files).
void read_plot(display::ChromatogramPlot& plot, std::istream& in, int max_points = kMaxRecordCount);

}  // namespace vetra::storage
