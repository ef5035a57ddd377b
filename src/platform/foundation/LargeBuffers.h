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
