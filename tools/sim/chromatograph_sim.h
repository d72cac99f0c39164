#pragma once

namespace vetra::sim {

// `vetra-sim chromatograph [options]`: serves until killed; returns only on a bad command
// line (2) or when no pseudo-terminal can be had (1). `argv` holds the options alone.
int run_chromatograph(int argc, char** argv);

}  // namespace vetra::sim
