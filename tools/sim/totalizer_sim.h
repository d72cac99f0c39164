#pragma once

namespace vetra::sim {

// `vetra-sim totalizer [options]`: the external gas totalizer's "MMV" packets on a
// pseudo-terminal or a TCP port, until killed. `argv` holds the options alone.
int run_totalizer(int argc, char** argv);

}  // namespace vetra::sim
