#include "NSBeep.h"

#include <atomic>

namespace {
std::atomic<size_t> gBeeps { 0 };
}

void NSBeep() { ++gBeeps; }

size_t NSBeepCount() { return gBeeps.load(); }
