// Memory for big pixel buffers (window frames, full-size pictures). Each
// fresh page of such a buffer costs a fault as it is first written; a frame
// of several megabytes is a thousand of them, and on a virtual machine that
// is tens of milliseconds the first time a panel shows. Asking the kernel
// for huge pages where a buffer covers whole ones turns that into a few.
#pragma once

#include <cstddef>
#include <cstdint>
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
// and the threads share two pools, which keeps the peak lower than a pool
// per thread does.
void keepLargeBuffersForReuse();

// Hands the memory that freed pictures left in the allocator back to the
// system. What keepLargeBuffersForReuse keeps is for the next picture; once
// windows have gone for good (their captures and previews freed) it would
// otherwise stay with the process.
void returnFreedLargeBuffers();
