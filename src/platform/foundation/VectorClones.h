// QV_VECTOR_CLONES before a function that holds a vectorised pixel loop:
// the function is also compiled for the wider vectors of recent x86-64
// processors (AVX2, AVX-512), and the copy that suits the processor is
// picked when the program loads. Off under the sanitizers: the picking runs
// while the program is being loaded, before their runtimes are ready, and
// an instrumented picker crashes there.
#pragma once

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define QV_NO_VECTOR_CLONES
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QV_NO_VECTOR_CLONES
#endif

#if defined(__x86_64__) && defined(__has_attribute) && !defined(QV_NO_VECTOR_CLONES)
#if __has_attribute(target_clones)
#define QV_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#endif
#endif
#ifndef QV_VECTOR_CLONES
#define QV_VECTOR_CLONES
#endif
