// The main-thread rule: interface state belongs to the main run loop. Debug
// builds stop at once, naming the call, when a call that belongs to the main
// thread comes from another thread, instead of racing the main run loop.
#pragma once

// Stops the process with "CALL: called off the main thread" unless the
// caller is on the main thread.
void assertMainThread(const char* call);

#if !defined(NDEBUG) || defined(QV_CHECK_MAIN_THREAD)
#define QV_ASSERT_MAIN_THREAD(call) assertMainThread(call)
#else
#define QV_ASSERT_MAIN_THREAD(call) ((void)0)
#endif
