#include "CGWindow.h"

#include <desktop/Desktop.h>
#include <graphics/CGColorSpace.h>
#include <graphics/CGDataProvider.h>
#include <graphics/CGImage.h>
#include <graphics/ImageIO.h>

#include <utility>

CGImageRef CGImageCreateWithDesktopImage(DesktopImage picture)
{
    if (picture.empty())
        return nullptr;
    int width = picture.width, height = picture.height;
    // The image keeps the picture's bytes as they come (R, G, B, A in
    // memory, premultiplied): a capture costs no pass over its pixels here.
    // Most captures are only ever averaged down into a preview, which reads
    // any channel order; one drawn at full size is converted once, then.
    auto provider = CGDataProviderCreateWithBytes(std::move(picture.rgba));
    return CGImageCreate(width, height, 8, 32, static_cast<size_t>(width) * 4, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedLast, provider);
}

bool CGImageWritePNGFile(const CGImageRef& image, const std::string& path)
{
    auto destination = CGImageDestinationCreateWithURL(path, "public.png", 1);
    if (!image || !destination)
        return false;
    CGImageDestinationAddImage(destination, image);
    return CGImageDestinationFinalize(destination);
}

CGImageRef CGWindowListCreateImage(CGRect screenBounds, CGWindowListOption listOption, CGWindowID windowID, CGWindowImageOption)
{
    if (listOption != kCGWindowListOptionIncludingWindow || windowID == kCGNullWindowID)
        return nullptr;
    auto& desktop = Desktop::current();
    auto picture = desktop.captureWindow(windowID);
    if (!picture || picture->empty())
        return nullptr;
    auto image = CGImageCreateWithDesktopImage(std::move(*picture));
    if (image && !CGRectIsNull(screenBounds)) {
        // A rectangle in global coordinates crops the window's picture.
        if (auto window = desktop.window(windowID)) {
            CGRect local = CGRectOffset(screenBounds, -window->frame.origin.x, -window->frame.origin.y);
            image = CGImageCreateWithImageInRect(image, local);
        }
    }
    return image;
}
