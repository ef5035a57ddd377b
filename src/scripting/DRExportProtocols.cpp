#include "DRExportProtocols.h"

namespace {

size_t hashOf(NSObject& object) { return object.hash(); }
bool isEqualTo(NSObject& object, Ref<NSObject> other) { return object.isEqual(other.get()); }

Ref<NSObject> nextOf(NSObject& object)
{
    auto* iterable = dynamic_cast<DRIterable*>(&object);
    return iterable ? iterable->next() : nullptr;
}

Ref<NSObject> previousOf(NSObject& object)
{
    auto* iterable = dynamic_cast<DRIterable*>(&object);
    return iterable ? iterable->previous() : nullptr;
}

}

void DRIdentifiableJSExport(JSExportClass& exportClass)
{
    exportClass.method("hash", &hashOf).method("isEqual:", &isEqualTo);
}

void DRIterableJSExport(JSExportClass& exportClass) { exportClass.method("next", &nextOf).method("previous", &previousOf); }
