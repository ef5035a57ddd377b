// The protocols several script classes share: identity (hash, isEqual) and
// cyclic iteration (next, previous).
#pragma once

#include <javascriptcore/JSExport.h>

// hash() and isEqual(other), answered by the object's own hash and equality.
void DRIdentifiableJSExport(JSExportClass& exportClass);

// What a class offers to be iterable from scripts.
class DRIterable {
public:
    virtual ~DRIterable() = default;
    virtual Ref<NSObject> next() const = 0;
    virtual Ref<NSObject> previous() const = 0;
};

// next() and previous() of a class that is a DRIterable.
void DRIterableJSExport(JSExportClass& exportClass);
