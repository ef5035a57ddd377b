#include "NSCachedImageRep.h"

#include "NSColor.h"

#include <cmath>

Ref<NSCachedImageRep> NSCachedImageRep::create(CGSize size)
{
    long w = long(std::ceil(size.width)), h = long(std::ceil(size.height));
    auto bitmap = NSBitmapImageRep::create(
        nullptr, w, h, 8, 4, true, false, NSCalibratedRGBColorSpace, 0, 0, 0);
    if (!bitmap)
        return nullptr;
    return makeRef<NSCachedImageRep>(size, bitmap);
}

NSCachedImageRep::NSCachedImageRep(CGSize size, Ref<NSBitmapImageRep> bitmap)
    : m_bitmap(std::move(bitmap))
{
    setPixelInfo(m_bitmap->pixelsWide(), m_bitmap->pixelsHigh(), true, 8, NSCalibratedRGBColorSpace);
    setSize(size);
}

CGImageRef NSCachedImageRep::CGImageForProposedRect(CGRect* rect, const Ref<NSGraphicsContext>& context, const void* hints)
{
    return m_bitmap->CGImageForProposedRect(rect, context, hints);
}

Ref<NSImageRep> NSCachedImageRep::copy() const
{
    auto bitmap = dynamicRef<NSBitmapImageRep>(m_bitmap->copy());
    return bitmap ? makeRef<NSCachedImageRep>(size(), bitmap) : nullptr;
}
