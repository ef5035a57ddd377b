// The platform's system-wide accessibility element: one record per process.
#pragma once

#include "SWAccessibilityElement.h"

class SWSystemWideElement final : public SWAccessibilityElement {
public:
    static Ref<SWSystemWideElement> systemWideElement();

    explicit SWSystemWideElement(AXUIElementRef element)
        : SWAccessibilityElement(std::move(element))
    {
    }
    Ref<SWAccessibilityElement> copy() const override;

protected:
    bool isKindOfReceiverClass(const NSObject* other) const override;
};
