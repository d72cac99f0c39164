#pragma once

namespace vetra::sim {

// A rig's WITS level 0 network: prints every item the workstation sends and, when asked,
// feeds each connection a depth packet every second.
int run_wits(int argc, char** argv);

}  // namespace vetra::sim
