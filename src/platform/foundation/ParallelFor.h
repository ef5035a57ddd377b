// Splitting one pixel job over the machine's cores while a person waits for
// it (the blur of a full-screen picture). A few threads are kept for the
// whole process; the caller works on its own job beside them.
#pragma once

#include <cstddef>
#include <functional>

// Calls body(i) once for every i below count and returns when every call
// has returned. The calls run on the calling thread and on the kept threads,
// in no set order, several at once: bodies must not write to the same
// bytes. Any thread may call this, also while other threads are in it or
// from inside a body; a job never waits for another caller's job to end.
void parallelFor(size_t count, const std::function<void(size_t)>& body);

// How many threads a job can run on at once (the kept ones and the caller).
size_t parallelForWidth();
