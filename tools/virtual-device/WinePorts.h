// Serial port names of a Wine prefix laid out like the test bench: the
// prefix DIR maps every COM1..COM100 to DIR/../bench/ports/comN, so only the
// names a device links there exist for Windows programs.
#pragma once

#include <string>

// Makes sure the prefix maps the ports that way (writing the registry with
// `wine regedit` and restarting the wineserver when it does not yet) and
// gives the path to link for `com` ("COM3" -> .../bench/ports/com3). Empty,
// with `error` saying why, on failure.
std::string WinePortLink(const std::string& prefix, const std::string& com, std::string& error);
