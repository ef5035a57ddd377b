// Colour spaces: device RGB and device gray. Colours and images name their
// space; no colour management is done between them.
#pragma once

#include <foundation/Ref.h>

#include <cstddef>
#include <string>

enum CGColorSpaceModel : int32_t {
    kCGColorSpaceModelUnknown = -1,
    kCGColorSpaceModelMonochrome = 0,
    kCGColorSpaceModelRGB = 1,
    kCGColorSpaceModelPattern = 6,
};

class CGColorSpace {
public:
    explicit CGColorSpace(CGColorSpaceModel model)
        : m_model(model)
    {
    }
    CGColorSpaceModel model() const { return m_model; }
    // Colour components, not counting alpha.
    size_t numberOfComponents() const;
    std::string name() const;

private:
    CGColorSpaceModel m_model;
};

using CGColorSpaceRef = Ref<CGColorSpace>;

// Shared instances: every call returns the same object.
CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
CGColorSpaceRef CGColorSpaceCreateDeviceGray();
CGColorSpaceModel CGColorSpaceGetModel(const CGColorSpaceRef&);
size_t CGColorSpaceGetNumberOfComponents(const CGColorSpaceRef&);
