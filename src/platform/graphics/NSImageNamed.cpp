#include "NSImage.h"

#include "CGColorSpace.h"
#include "CGContext.h"

#include <foundation/NSBundle.h>

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

bool isSystemImageName(const std::string& name)
{
    return name == NSImageNameStatusAvailable || name == NSImageNameStatusPartiallyAvailable
        || name == NSImageNameStatusUnavailable || name == NSImageNameStatusNone;
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
