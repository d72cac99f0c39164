#pragma once

namespace vetra::sim {

// The registration station: prints what arrives in its results mailslot, sends the
// workstation remote-control messages and answers value requests on its TCP port.
int run_station(int argc, char** argv);

}  // namespace vetra::sim
