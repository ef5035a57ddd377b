#include "SWSystemWideElement.h"

#include <foundation/Dispatch.h>

Ref<SWSystemWideElement> SWSystemWideElement::systemWideElement()
{
    static dispatch_once_t once;
    static Ref<SWSystemWideElement> shared;
    dispatch_once(&once, [] { shared = makeRef<SWSystemWideElement>(AXUIElementCreateSystemWide()); });
    return shared;
}

Ref<SWAccessibilityElement> SWSystemWideElement::copy() const { return makeRef<SWSystemWideElement>(axElementRef()); }

bool SWSystemWideElement::isKindOfReceiverClass(const NSObject* other) const
{
    return dynamic_cast<const SWSystemWideElement*>(other) != nullptr;
}
