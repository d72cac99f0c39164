// vetra-sim: the instruments and the station the workstation talks to, for training, for
// checking a set-up and for the end-to-end tests.
#include <cstdio>
#include <string_view>

#include "chromatograph_sim.h"
#include "rig_sim.h"
#include "station_sim.h"
#include "totalizer_sim.h"
#include "wits_sim.h"

int main(int argc, char** argv) {
    const std::string_view command = argc >= 2 ? argv[1] : "";
    if (command == "chromatograph") {
        return vetra::sim::run_chromatograph(argc - 2, argv + 2);
    } else if (command == "station") {
        return vetra::sim::run_station(argc - 2, argv + 2);
    } else if (command == "wits") {
        return vetra::sim::run_wits(argc - 2, argv + 2);
    } else if (command == "rig") {
        return vetra::sim::run_rig(argc - 2, argv + 2);
    } else if (command == "totalizer") {
        return vetra::sim::run_totalizer(argc - 2, argv + 2);
    }
    std::fputs(
        "usage: vetra-sim chromatograph|station|totalizer|wits|rig [options]   (--help for the "
        "options)\n",
        stderr);
    return 2;
}
