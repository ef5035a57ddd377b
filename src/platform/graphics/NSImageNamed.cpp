#include "NSImage.h"

#include "CGColorSpace.h"
#include "CGContext.h"

#include <foundation/NSBundle.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace {

struct NamedImages {
    std::mutex mutex;
    std::map<std::string, Ref<NSImage>> byName;
};

NamedImages& namedImages()
{
    static auto* images = new NamedImages;
    return *images;
}

// The status lights: a filled disc with a darker rim, 16 points wide.
Ref<NSImage> statusLight(uint32_t rgb, bool filled)
{
    constexpr size_t kSide = 16;
    auto context = CGBitmapContextCreate(nullptr, kSide, kSide, 8, 0, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    if (!context)
        return nullptr;
    CGFloat r = ((rgb >> 16) & 0xff) / 255.0, g = ((rgb >> 8) & 0xff) / 255.0, b = (rgb & 0xff) / 255.0;
    CGRect disc = CGRectMake(2, 2, kSide - 4, kSide - 4);
    if (filled) {
        CGContextSetRGBFillColor(context, r, g, b, 1);
        CGContextFillEllipseInRect(context, disc);
    }
    CGContextSetRGBStrokeColor(context, r * 0.7, g * 0.7, b * 0.7, 1);
    CGContextSetLineWidth(context, 1);
    CGContextStrokeEllipseInRect(context, CGRectInset(disc, 0.5, 0.5));
    return NSImage::imageWithCGImage(CGBitmapContextCreateImage(context), CGSizeMake(kSide, kSide));
}

constexpr size_t kToolbarImageSide = 32;

CGContextRef toolbarImageContext()
{
    return CGBitmapContextCreate(nullptr, kToolbarImageSide, kToolbarImageSide, 8, 0, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
}

Ref<NSImage> toolbarImage(const CGContextRef& context)
{
    return NSImage::imageWithCGImage(
        CGBitmapContextCreateImage(context), CGSizeMake(kToolbarImageSide, kToolbarImageSide));
}

// A grey gear: eight teeth around a ring with a hole.
Ref<NSImage> gear()
{
    auto context = toolbarImageContext();
    if (!context)
        return nullptr;
    constexpr CGFloat c = kToolbarImageSide / 2.0;
    constexpr int kTeeth = 8;
    constexpr CGFloat kOuter = 15, kInner = 11.5;
    for (int i = 0; i < 2 * kTeeth; ++i) {
        // Each tooth spans a sixteenth of the turn, tapered at its tip.
        CGFloat from = (i - 0.5) * M_PI / kTeeth, to = (i + 0.5) * M_PI / kTeeth;
        CGFloat radius = i % 2 == 0 ? kOuter : kInner;
        CGFloat taper = i % 2 == 0 ? 0.12 : 0;
        if (i == 0)
            CGContextMoveToPoint(context, c + radius * std::cos(from + taper), c + radius * std::sin(from + taper));
        else
            CGContextAddLineToPoint(context, c + radius * std::cos(from + taper), c + radius * std::sin(from + taper));
        CGContextAddLineToPoint(context, c + radius * std::cos(to - taper), c + radius * std::sin(to - taper));
    }
    CGContextClosePath(context);
    CGContextSetRGBFillColor(context, 0.45, 0.46, 0.48, 1);
    CGContextFillPath(context);
    CGContextSetRGBFillColor(context, 0.62, 0.63, 0.65, 1);
    CGContextFillEllipseInRect(context, CGRectMake(c - 8, c - 8, 16, 16));
    CGContextSetBlendMode(context, kCGBlendModeClear);
    CGContextFillEllipseInRect(context, CGRectMake(c - 4, c - 4, 8, 8));
    return toolbarImage(context);
}

// A colour wheel: the hues around a disc, whitening towards the centre.
Ref<NSImage> colorWheel()
{
    auto context = toolbarImageContext();
    if (!context)
        return nullptr;
    constexpr CGFloat c = kToolbarImageSide / 2.0;
    constexpr int kSlices = 36;
    for (int ring = 0; ring < 3; ++ring) {
        CGFloat radius = 15 - ring * 5;
        CGFloat whiten = ring * 0.3;
        for (int i = 0; i < kSlices; ++i) {
            CGFloat hue = i / CGFloat(kSlices);
            // Hue to RGB: each channel a clamped triangle over the turn.
            auto channel = [hue](CGFloat offset) {
                CGFloat k = std::fmod(hue * 6 + offset, 6.0);
                return std::clamp(std::min(k, 4 - k), 0.0, 1.0);
            };
            CGFloat r = channel(5), g = channel(3), b = channel(1);
            CGContextSetRGBFillColor(context, r + (1 - r) * whiten, g + (1 - g) * whiten, b + (1 - b) * whiten, 1);
            CGFloat from = 2 * M_PI * i / kSlices, to = 2 * M_PI * (i + 1.05) / kSlices;
            CGContextMoveToPoint(context, c, c);
            CGContextAddArc(context, c, c, radius, from, to, 0);
            CGContextClosePath(context);
            CGContextFillPath(context);
        }
    }
    CGContextSetRGBStrokeColor(context, 0.4, 0.4, 0.4, 1);
    CGContextSetLineWidth(context, 1);
    CGContextStrokeEllipseInRect(context, CGRectMake(c - 14.5, c - 14.5, 29, 29));
    return toolbarImage(context);
}

bool isSystemImageName(const std::string& name)
{
    return name == NSImageNameStatusAvailable || name == NSImageNameStatusPartiallyAvailable
        || name == NSImageNameStatusUnavailable || name == NSImageNameStatusNone
        || name == NSImageNamePreferencesGeneral || name == NSImageNameColorPanel;
}

Ref<NSImage> systemImageNamed(const std::string& name)
{
    if (name == NSImageNameStatusAvailable)
        return statusLight(0x2fbf4a, true);
    if (name == NSImageNameStatusPartiallyAvailable)
        return statusLight(0xf2c12e, true);
    if (name == NSImageNameStatusUnavailable)
        return statusLight(0xe0443a, true);
    if (name == NSImageNameStatusNone)
        return statusLight(0x9a9a9a, false);
    if (name == NSImageNamePreferencesGeneral)
        return gear();
    if (name == NSImageNameColorPanel)
        return colorWheel();
    return nullptr;
}

}

Ref<NSImage> NSImage::imageNamed(const std::string& name)
{
    if (name.empty())
        return nullptr;
    auto& images = namedImages();
    {
        std::lock_guard lock(images.mutex);
        if (auto it = images.byName.find(name); it != images.byName.end())
            return it->second;
    }
    Ref<NSImage> image;
    std::string stem = name.size() > 4 && name.ends_with(".png") ? name.substr(0, name.size() - 4) : name;
    if (auto path = NSBundle::mainBundle().pathForResource(stem, "png"); !path.empty())
        image = imageWithContentsOfFile(path);
    if (!image)
        image = systemImageNamed(name);
    if (!image)
        return nullptr;
    std::lock_guard lock(images.mutex);
    // Another thread may have registered the name meanwhile; its image wins.
    auto [it, inserted] = images.byName.emplace(name, image);
    if (inserted)
        image->m_name = name;
    return it->second;
}

bool NSImage::setName(const std::string& name)
{
    auto& images = namedImages();
    std::lock_guard lock(images.mutex);
    if (!name.empty()) {
        auto it = images.byName.find(name);
        if (it != images.byName.end() ? it->second.get() != this : isSystemImageName(name))
            return false;
    }
    auto self = selfRef<NSImage>();
    if (!self)
        return false;
    if (!m_name.empty())
        images.byName.erase(m_name);
    m_name = name;
    if (!name.empty())
        images.byName[name] = self;
    return true;
}
