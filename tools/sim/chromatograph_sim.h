#pragma once

namespace vetra::sim {

int run_chromatograph(int argc, char** argv);

}  // namespace vetra::sim
