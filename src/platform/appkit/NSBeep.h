// The alert sound. Nothing is played here; each beep is counted, so that a
// test or a session can tell that one was asked for.
#pragma once

#include <cstddef>

void NSBeep();
size_t NSBeepCount();
