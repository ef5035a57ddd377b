// One representation of an image: a size in points and, for bitmaps,
// pixel dimensions. Representations draw themselves into the current
// graphics context.
#pragma once

#include "CGImage.h"
#include "GraphicsTypes.h"

#include <foundation/NSObject.h>

class NSGraphicsContext;

class NSImageRep : public NSObject {
public:
    CGSize size() const { return m_size; }
    void setSize(CGSize size) { m_size = size; }
    long pixelsWide() const { return m_pixelsWide; }
    long pixelsHigh() const { return m_pixelsHigh; }
    bool hasAlpha() const { return m_hasAlpha; }
    long bitsPerSample() const { return m_bitsPerSample; }
    const std::string& colorSpaceName() const { return m_colorSpaceName; }

    // The pixels as a Core Graphics image; the caller shares it.
    virtual CGImageRef CGImageForProposedRect(CGRect* proposedRect, const Ref<NSGraphicsContext>& context,
        const void* hints = nullptr)
        = 0;
    virtual Ref<NSImageRep> copy() const = 0;

    // Draws the whole representation at its size with its origin at (0, 0).
    bool draw();
    bool drawAtPoint(CGPoint point);
    // Draws the whole representation scaled into rect (source-over).
    bool drawInRect(CGRect rect);
    // Draws the part src (in the representation's points; the zero rect for
    // all of it) into dst with an operation and an opacity.
    bool drawInRect(CGRect dst, CGRect src, NSCompositingOperation op, CGFloat fraction);

protected:
    void setPixelInfo(long wide, long high, bool hasAlpha, long bitsPerSample, std::string colorSpaceName);
    void copyInfoFrom(const NSImageRep& other);

private:
    CGSize m_size {};
    long m_pixelsWide { 0 };
    long m_pixelsHigh { 0 };
    bool m_hasAlpha { false };
    long m_bitsPerSample { 0 };
    std::string m_colorSpaceName;
};
