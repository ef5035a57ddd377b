// Shared definitions of the layer library.
#pragma once

#include <foundation/Clock.h>

// The media time that animations run on, in seconds. It reads the injected
// Clock, so a virtual clock drives every animation of a test.
inline double CACurrentMediaTime() { return Clock::current().now(); }
