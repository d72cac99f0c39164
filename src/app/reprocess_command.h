#pragma once

#include <string>
#include <vector>

namespace vetra::app {

// vetra-tool reprocess: prints the old and new values of the stored analyses of a time
// range computed again, and with --apply writes them (with the trail and the journal line);
// --undo takes a re-processing back. `args` are the arguments after the command word.
int run_reprocess(const std::vector<std::string>& args);

}  // namespace vetra::app
