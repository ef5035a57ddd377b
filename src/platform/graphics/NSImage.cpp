#include "NSImage.h"

#include "CGContext.h"
#include "ImageIO.h"
#include "NSBitmapImageRep.h"
#include "NSCachedImageRep.h"
#include "NSGraphicsContext.h"

#include <foundation/Format.h>
#include <foundation/Log.h>

#include <algorithm>

Ref<NSImage> NSImage::create(CGSize size) { return makeRef<NSImage>(size); }

Ref<NSImage> NSImage::imageWithCGImage(const CGImageRef& cg, CGSize size)
{
    if (!cg)
        return nullptr;
    auto rep = NSBitmapImageRep::createWithCGImage(cg);
    if (size.width == 0 && size.height == 0)
        size = rep->size();
    auto image = create(size);
    image->addRepresentation(rep);
    return image;
}

Ref<NSImage> NSImage::imageWithData(const std::vector<uint8_t>& data)
{
    auto cg = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(data), 0);
    return imageWithCGImage(cg, CGSizeZero);
}

Ref<NSImage> NSImage::imageWithContentsOfFile(const std::string& path)
{
    auto cg = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithURL(path), 0);
    return imageWithCGImage(cg, CGSizeZero);
}

NSImage::NSImage(CGSize size)
    : m_size(size)
{
}

CGSize NSImage::size() const
{
    if (m_size.width == 0 && m_size.height == 0 && !m_reps.empty())
        return m_reps.front()->size();
    return m_size;
}

void NSImage::setSize(CGSize size) { m_size = size; }

void NSImage::addRepresentation(const Ref<NSImageRep>& rep)
{
    if (rep)
        m_reps.push_back(rep);
}

void NSImage::removeRepresentation(const Ref<NSImageRep>& rep)
{
    m_reps.erase(std::remove(m_reps.begin(), m_reps.end(), rep), m_reps.end());
}

bool NSImage::isValid() const
{
    CGSize s = size();
    return !m_reps.empty() && s.width > 0 && s.height > 0;
}

Ref<NSImageRep> NSImage::bestRepresentationForRect(CGRect rect, const Ref<NSGraphicsContext>&, const void*) const
{
    if (m_reps.empty())
        return nullptr;
    // The smallest representation with at least the destination's pixels,
    // else the largest one.
    double wanted = std::fabs(rect.size.width * rect.size.height);
    Ref<NSImageRep> best;
    double bestPixels = 0;
    for (const auto& rep : m_reps) {
        double pixels = double(rep->pixelsWide()) * double(rep->pixelsHigh());
        bool better;
        if (!best)
            better = true;
        else if (bestPixels >= wanted)
            better = pixels >= wanted && pixels < bestPixels;
        else
            better = pixels > bestPixels;
        if (better) {
            best = rep;
            bestPixels = pixels;
        }
    }
    return best;
}

void NSImage::lockFocus()
{
    auto cached = NSCachedImageRep::create(size());
    m_focusStack.push_back(cached);
    NSGraphicsContext::saveGraphicsState();
    auto context = cached ? NSGraphicsContext::graphicsContextWithBitmapImageRep(cached->bitmap()) : nullptr;
    NSGraphicsContext::setCurrentContext(context);
    // Drawing goes on top of what the image already shows.
    if (context)
        drawInRect(CGRect { {}, size() }, CGRectZero, NSCompositingOperationCopy, 1);
}

void NSImage::unlockFocus()
{
    if (m_focusStack.empty()) {
        NSLog("unlockFocus called too many times");
        return;
    }
    auto cached = m_focusStack.back();
    m_focusStack.pop_back();
    NSGraphicsContext::restoreGraphicsState();
    if (cached) {
        m_reps.clear();
        m_reps.push_back(cached);
    }
}

void NSImage::drawInRect(CGRect dst, CGRect src, NSCompositingOperation op, CGFloat fraction)
{
    auto context = NSGraphicsContext::currentContext();
    CGSize s = size();
    if (!context || s.width <= 0 || s.height <= 0)
        return;
    auto rep = bestRepresentationForRect(dst, context);
    if (!rep)
        return;
    if (src.size.width == 0 && src.size.height == 0)
        src = CGRect { {}, s };
    // Image points to representation points.
    CGSize repSize = rep->size();
    double kx = repSize.width / s.width, ky = repSize.height / s.height;
    CGRect repSrc = CGRectMake(src.origin.x * kx, src.origin.y * ky, src.size.width * kx, src.size.height * ky);
    rep->drawInRect(dst, repSrc, op, fraction);
}

void NSImage::drawInRect(CGRect dst) { drawInRect(dst, CGRectZero, NSCompositingOperationSourceOver, 1); }

void NSImage::drawAtPoint(CGPoint point, CGRect src, NSCompositingOperation op, CGFloat fraction)
{
    CGSize s = (src.size.width == 0 && src.size.height == 0) ? size() : src.size;
    drawInRect(CGRect { point, s }, src, op, fraction);
}

void NSImage::compositeToPoint(CGPoint point, NSCompositingOperation op, CGFloat fraction)
{
    compositeToPoint(point, CGRectZero, op, fraction);
}

void NSImage::compositeToPoint(CGPoint point, CGRect src, NSCompositingOperation op, CGFloat fraction)
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    const auto& cg = context->CGContext();
    CGAffineTransform ctm = CGContextGetCTM(cg);
    CGPoint device = CGPointApplyAffineTransform(point, ctm);
    CGSize s = (src.size.width == 0 && src.size.height == 0) ? size() : src.size;
    CGContextStateSaver saver(cg);
    CGContextConcatCTM(cg, CGAffineTransformInvert(ctm));
    drawInRect(CGRect { device, s }, src, op, fraction);
}

CGImageRef NSImage::CGImageForProposedRect(CGRect* proposedRect, const Ref<NSGraphicsContext>& context,
    const void* hints)
{
    CGRect rect = proposedRect ? *proposedRect : CGRect { {}, size() };
    auto rep = bestRepresentationForRect(rect, context, hints);
    return rep ? rep->CGImageForProposedRect(proposedRect, context, hints) : nullptr;
}

std::vector<uint8_t> NSImage::TIFFRepresentation()
{
    CGImageRef image = CGImageForProposedRect(nullptr, nullptr);
    return image ? CGImageCreatePNGData(image) : std::vector<uint8_t> {};
}

Ref<NSImage> NSImage::copy() const
{
    auto image = create(m_size);
    image->m_template = m_template;
    for (const auto& rep : m_reps)
        image->addRepresentation(rep->copy());
    return image;
}

std::string NSImage::description() const
{
    return stringWithFormat("<NSImage %s reps=%zu%s>", NSStringFromSize(size()).c_str(), m_reps.size(),
        m_template ? " template" : "");
}
