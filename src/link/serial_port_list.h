#pragma once

#include <string>
#include <vector>

namespace vetra::link {

// The serial ports an operator may pick: the devices this computer actually has (on Linux:
// ttyS ports with a UART behind them, USB adapters, and their stable /dev/serial/by-id names,
// which say what the adapter is; on Windows the COM ports of the device map), or "COM1" ..
// "COM8" when it reports none. The lists offer these; a name typed by hand still works.
std::vector<std::string> serial_port_names(const std::string& root = "/");

// The devices alone, in a natural order (ttyUSB2 before ttyUSB10). `root` is "/" except in
// tests, which build a small /sys and /dev of their own.
std::vector<std::string> present_serial_devices(const std::string& root = "/");

}  // namespace vetra::link
