#pragma once

#include <string>

namespace vetra::library {

// Number text for displayed concentrations: without fixed `decimals` (-1) the number of
// decimals follows the magnitude and trailing zeros are dropped; with them, exactly that
// many decimals. Exactly zero is "0". Padded on the left with blanks to `min_width`.
// The decimal separator is the system's.
std::string formatAuto(double v, int decimals = -1, int min_width = 1);

}  // namespace vetra::library
