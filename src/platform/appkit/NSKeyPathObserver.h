// Observation of a key path through several objects ("a.b.c"). Each object
// on the path is observed for its key; when an intermediate object changes,
// the observation moves to the new object, so the handler follows the value
// at the end of the path wherever it comes from. Where the path reaches a
// value that is not an object (an array, a dictionary, a number), the rest
// of the path, "@count" included, is applied to that value.
#pragma once

#include <foundation/NSObject.h>

#include <memory>
#include <string>

// A root held by a Ref is not kept alive: once it is gone the handler runs
// no more. A root that is not (a stack object) must outlive the token.
// Intermediate objects are not kept alive either.
// The change carries the whole key path and the values at its end; the
// handler runs on every change notice of any object on the path, and once
// at the start when the options ask for the initial value.
[[nodiscard]] Token NSObserveKeyPath(
    const NSObject& root, const std::string& keyPath, unsigned options, KVOHandler handler);
