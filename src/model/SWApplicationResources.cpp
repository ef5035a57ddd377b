// What an application record reads from outside accessibility: its icon
// and its bundle's information.
#include "SWApplication.h"

#include <appkit/NSWorkspace.h>
#include <foundation/NSPropertyListSerialization.h>
#include <graphics/NSImage.h>

#include <fstream>
#include <iterator>

Ref<NSImage> SWApplication::icon() const
{
    auto app = runningApplication();
    if (!app)
        return nullptr;
    return NSWorkspace::sharedWorkspace().iconForFile(app->bundleURL().value_or(""));
}

bool isAgent(const NSRunningApplication& app)
{
    auto bundle = app.bundleURL();
    if (!bundle)
        return false;
    std::ifstream in(*bundle + "/Contents/Info.plist", std::ios::binary);
    if (!in)
        return false;
    Value::Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto info = NSPropertyListSerialization::propertyListWithData(data);
    return info && info->isDictionary() && (*info)["LSUIElement"].boolValue();
}
