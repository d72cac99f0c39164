#pragma once

#include <string>
#include <vector>

#include "analysis/gaz_result.h"
#include "library/datetime.h"

namespace vetra::app {

// A published result list for a person at the terminal: one line per gas with its absolute
// and relative percent, the total, and the start and calculation times as local date and
// time. No line holds '=', so scripts that read the key=value block pass over it.
std::vector<std::string> readable_results(const std::vector<analysis::GazResult>& results,
                                          library::DayNumber start_time,
                                          library::DayNumber results_time);

// How a cycle ended, in words, from the link status it ended with.
std::string cycle_end_words(int status);

}  // namespace vetra::app
