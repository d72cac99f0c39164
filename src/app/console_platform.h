#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace vetra::app {

// The command line in UTF-8 (on Windows argv is in the ANSI code page, and a directory
// named in Cyrillic would be lost).
std::vector<std::string> utf8_arguments(int argc, char** argv);

// Lets the console show the UTF-8 the programs print.
void prepare_console_output();

// Sets `stop` when the operator or the system asks the program to end: Ctrl+C, a hang-up or
// SIGTERM on POSIX; Ctrl+C, Ctrl+Break, closing the console, logoff and shutdown on Windows.
// Windows ends the process as soon as the handler of the last three returns, so there it
// waits (a few seconds at most) for console_finished().
void install_stop_handlers(std::atomic<bool>& stop);

// The orderly shut-down is over.
void console_finished();

}  // namespace vetra::app
