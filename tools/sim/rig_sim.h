#pragma once

namespace vetra::sim {

// `vetra-sim rig --scenario FILE [options]`: plays a drilling scenario until killed.
int run_rig(int argc, char** argv);

}  // namespace vetra::sim
