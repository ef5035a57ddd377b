// Memory for big pixel buffers (window frames, full-size pictures). Each
// fresh page of such a buffer costs a fault as it is first written; a frame
// of several megabytes is a thousand of them, and on a virtual machine that
// is tens of milliseconds the first time a panel shows. Asking the kernel
// for huge pages where a buffer covers whole ones turns that into a few.
#pragma once

#include "Token.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Advises huge pages for the whole huge pages within the bytes (nothing for
// buffers smaller than one); the memory is unchanged.
void adviseHugePages(void* data, size_t bytes);

// Makes room for the bytes in the vector (its size is unchanged), advised as
// above while the new memory is still untouched.
void reserveLargeBuffer(std::vector<uint8_t>& buffer, size_t bytes);

// The program handles many pictures of several megabytes at once (window
// captures, screenshots, previews, the panel's frames), on several threads.
// Left to itself the allocator maps fresh pages for each such picture and
// returns them when it is freed, so that every picture pays again for the
// system to clear and map its pages (most of a capture's cost, and of a
// panel's first frame). Called once at start-up, before any thread starts:
// freed memory is then kept for the next picture instead, up to a bound,
// and the threads share one pool: that keeps the peak lower than a pool per
// thread does, and lets returnFreedLargeBuffers hand back all that is free
// (the allocator never gives back the top of a second pool's heap while the
// bound is this high; tens of megabytes stayed there).
void keepLargeBuffersForReuse();

// Hands the memory that freed pictures left in the allocator back to the
// system. What keepLargeBuffersForReuse keeps is for the next picture; once
// windows have gone for good (their captures and previews freed) it would
// otherwise stay with the process. First every keeper (below) lets go of
// what it holds only to be quicker next time. Main thread only.
void returnFreedLargeBuffers();

// Registers a keeper of large buffers that only make the next use quicker
// (the frames of windows not shown, copies of pictures whose originals are
// gone): returnFreedLargeBuffers calls it, on the main thread, before the
// memory goes back. The registration ends with the token.
[[nodiscard]] Token addLargeBufferKeeper(std::function<void()> letGo);
