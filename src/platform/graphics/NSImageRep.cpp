#include "NSImageRep.h"

#include "CGContext.h"
#include "NSGraphicsContext.h"

void NSImageRep::setPixelInfo(long wide, long high, bool hasAlpha, long bitsPerSample, std::string colorSpaceName)
{
    m_pixelsWide = wide;
    m_pixelsHigh = high;
    m_hasAlpha = hasAlpha;
    m_bitsPerSample = bitsPerSample;
    m_colorSpaceName = std::move(colorSpaceName);
}

void NSImageRep::copyInfoFrom(const NSImageRep& other)
{
    m_size = other.m_size;
    setPixelInfo(other.m_pixelsWide, other.m_pixelsHigh, other.m_hasAlpha, other.m_bitsPerSample,
        other.m_colorSpaceName);
}

bool NSImageRep::draw() { return drawInRect(CGRect { {}, m_size }); }

bool NSImageRep::drawAtPoint(CGPoint point) { return drawInRect(CGRect { point, m_size }); }

bool NSImageRep::drawInRect(CGRect rect) { return drawInRect(rect, CGRectZero, NSCompositingOperationSourceOver, 1); }

bool NSImageRep::drawInRect(CGRect dst, CGRect src, NSCompositingOperation op, CGFloat fraction)
{
    auto context = NSGraphicsContext::currentContext();
    if (!context || m_size.width <= 0 || m_size.height <= 0)
        return false;
    auto image = CGImageForProposedRect(nullptr, context);
    if (!image)
        return false;
    if (src.size.width == 0 && src.size.height == 0)
        src = CGRect { {}, m_size };
    src = CGRectStandardize(src);
    dst = CGRectStandardize(dst);
    if (src.size.width <= 0 || src.size.height <= 0 || dst.size.width <= 0 || dst.size.height <= 0)
        return false;
    // Place the whole representation so that src lands on dst, and clip to
    // dst and to the representation's own extent.
    CGFloat sx = dst.size.width / src.size.width, sy = dst.size.height / src.size.height;
    CGRect whole = CGRectMake(dst.origin.x - src.origin.x * sx, dst.origin.y - src.origin.y * sy,
        m_size.width * sx, m_size.height * sy);
    CGRect visible = CGRectIntersection(dst, whole);
    if (CGRectIsNull(visible) || CGRectIsEmpty(visible))
        return true;
    const auto& cg = context->CGContext();
    CGContextStateSaver saver(cg);
    CGContextClipToRect(cg, visible);
    CGContextSetBlendMode(cg, CGBlendModeForCompositingOperation(op));
    CGContextSetAlpha(cg, cg->gstate().alpha * fraction);
    CGContextDrawImage(cg, whole, image);
    return true;
}
