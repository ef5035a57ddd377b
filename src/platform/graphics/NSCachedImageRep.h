// An offscreen representation that an image draws into while it has the
// focus (NSImage::lockFocus). Its pixels are a bitmap of the size rounded
// up to whole pixels.
#pragma once

#include "NSBitmapImageRep.h"

class NSCachedImageRep : public NSImageRep {
public:
    // Null for a size below one pixel.
    static Ref<NSCachedImageRep> create(CGSize size);
    NSCachedImageRep(CGSize size, Ref<NSBitmapImageRep> bitmap);

    const Ref<NSBitmapImageRep>& bitmap() const { return m_bitmap; }
    CGImageRef CGImageForProposedRect(CGRect*, const Ref<NSGraphicsContext>&, const void* = nullptr) override;
    Ref<NSImageRep> copy() const override;

private:
    Ref<NSBitmapImageRep> m_bitmap;
};
