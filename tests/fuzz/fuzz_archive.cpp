// Keyed archives, as the settings file can hold them (shortcuts included).
#include "FuzzTarget.h"

#include <app/KSShortcut.h>
#include <foundation/NSKeyedArchiver.h>
#include <foundation/NSKeyedUnarchiver.h>

QV_FUZZ_TARGET(archive)
{
    static const bool registered = [] {
        NSKeyedUnarchiver::registerClass<KSShortcut>();
        return true;
    }();
    (void)registered;
    Value::Bytes bytes(data, data + size);
    std::string error;
    Value root = NSKeyedUnarchiver::unarchiveObjectWithData(bytes, &error);
    if (root.isNil())
        return;
    // What was read can be archived again.
    auto written = NSKeyedArchiver::archivedDataWithRootObject(root, &error);
    if (written)
        NSKeyedUnarchiver::unarchiveObjectWithData(*written, &error);
}
