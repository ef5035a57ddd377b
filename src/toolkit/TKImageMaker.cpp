#include "TKImageMaker.h"

#include "TKGeometry.h"

#include <foundation/Log.h>

#include <cmath>
#include <cstring>

Ref<TKImageMaker> TKImageMaker::maker(CGSize size) { return makeRef<TKImageMaker>(size); }

TKImageMaker::TKImageMaker(CGSize size)
    : m_size(size)
{
}

TKImageMaker::~TKImageMaker()
{
    setBitmapImageRep(nullptr);
    setBitmapContext(nullptr);
}

void TKImageMaker::lockFocus()
{
    if (isLocked()) {
        NSLog("imageMaker is already locked");
        return;
    }
    setLocked(true);
    CGSize s = size();
    long width = TKBitmapSide(s.width);
    long height = TKBitmapSide(s.height);
    auto rep = NSBitmapImageRep::create(nullptr, width, height, 8, 4, true, false,
        NSCalibratedRGBColorSpace, 0, 0, 0);
    setBitmapImageRep(rep);
    if (rep) {
        if (unsigned char* data = rep->bitmapData())
            std::memset(data, 0, size_t(rep->bytesPerRow() * rep->pixelsHigh()));
    }
    auto context = NSGraphicsContext::graphicsContextWithBitmapImageRep(rep);
    setBitmapContext(context);
    // Without a bitmap the pass still gets a context of its own (none), so
    // that its drawing cannot reach the context of an enclosing pass.
    NSGraphicsContext::saveGraphicsState();
    m_savedState = true;
    NSGraphicsContext::setCurrentContext(context);
    if (context) {
        setSavedImageInterpolation(context->imageInterpolation());
        context->setImageInterpolation(NSImageInterpolationHigh);
    }
}

Ref<NSImage> TKImageMaker::unlockFocus(bool isTemplate)
{
    if (!isLocked()) {
        NSLog("imageMaker is not locked");
        return nullptr;
    }
    setLocked(false);
    if (auto context = bitmapContext())
        context->setImageInterpolation(savedImageInterpolation());
    if (m_savedState) {
        m_savedState = false;
        NSGraphicsContext::restoreGraphicsState();
    }
    auto image = NSImage::create(size());
    if (auto rep = bitmapImageRep())
        image->addRepresentation(rep);
    image->setTemplate(isTemplate);
    return image;
}

Ref<NSImage> TKImageMaker::unlockFocus() { return unlockFocus(false); }

Ref<NSBitmapImageRep> TKImageMaker::imageRep() const
{
    auto rep = bitmapImageRep();
    return rep ? dynamicRef<NSBitmapImageRep>(rep->copy()) : nullptr;
}

CGSize TKImageMaker::size() const
{
    std::lock_guard lock(m_mutex);
    return m_size;
}

void TKImageMaker::setSize(CGSize size)
{
    std::lock_guard lock(m_mutex);
    m_size = size;
}

NSImageInterpolation TKImageMaker::savedImageInterpolation() const
{
    std::lock_guard lock(m_mutex);
    return m_savedImageInterpolation;
}

void TKImageMaker::setSavedImageInterpolation(NSImageInterpolation value)
{
    std::lock_guard lock(m_mutex);
    m_savedImageInterpolation = value;
}

Ref<NSBitmapImageRep> TKImageMaker::bitmapImageRep() const
{
    std::lock_guard lock(m_mutex);
    return m_bitmapImageRep;
}

void TKImageMaker::setBitmapImageRep(const Ref<NSBitmapImageRep>& rep)
{
    std::lock_guard lock(m_mutex);
    m_bitmapImageRep = rep;
}

Ref<NSGraphicsContext> TKImageMaker::bitmapContext() const
{
    std::lock_guard lock(m_mutex);
    return m_bitmapContext;
}

void TKImageMaker::setBitmapContext(const Ref<NSGraphicsContext>& context)
{
    std::lock_guard lock(m_mutex);
    m_bitmapContext = context;
}

bool TKImageMaker::isLocked() const
{
    std::lock_guard lock(m_mutex);
    return m_locked;
}

void TKImageMaker::setLocked(bool locked)
{
    std::lock_guard lock(m_mutex);
    m_locked = locked;
}
