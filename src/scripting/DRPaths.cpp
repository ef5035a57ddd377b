#include "DRPaths.h"

#include <foundation/NSPathUtilities.h>

std::string DRSupportDirectory() { return userDataDirectory() + "/Dirariv"; }
