#include <cstdio>
#include <string_view>

#include "chromatograph_sim.h"
#include "station_sim.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::string_view(argv[1]) == "chromatograph") {
        return vetra::sim::run_chromatograph(argc - 2, argv + 2);
    } else if (argc >= 2 && std::string_view(argv[1]) == "station") {
        return vetra::sim::run_station(argc - 2, argv + 2);
    }
    std::fputs("usage: vetra-sim chromatograph [options]\n", stderr);
    return 2;
}
