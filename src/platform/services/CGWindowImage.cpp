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
    // Window pictures come in the layout the drawing code keeps its pixels
    // in (premultiplied, alpha first, 32-bit little-endian: B, G, R, A in
    // memory), so drawing one reads its bytes in place. The reordering
    // happens here, on the capturing thread, not when the picture is drawn.
    auto& bytes = picture.rgba;
    for (size_t i = 0; i + 3 < bytes.size(); i += 4)
        std::swap(bytes[i], bytes[i + 2]);
    auto provider = CGDataProviderCreateWithBytes(std::move(bytes));
    return CGImageCreate(width, height, 8, 32, static_cast<size_t>(width) * 4, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, provider);
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
    // Captures are mostly shown as thumbnails: the capturing thread makes
    // the averaged copy they are drawn from.
    if (image)
        image->prepareReductionForThumbnails();
    return image;
}
