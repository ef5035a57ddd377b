// Where the scripting layer keeps its files on this system: the platform's
// "~/Library/Application Support/Dirariv" is $XDG_DATA_HOME/Dirariv
// (~/.local/share/Dirariv by default).
#pragma once

#include <string>

std::string DRSupportDirectory();
