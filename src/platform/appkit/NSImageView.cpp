#include "NSImageView.h"

#include <algorithm>

NSImageView::NSImageView(CGRect frame)
    : NSControl(frame)
{
}

Ref<NSImageView> NSImageView::imageViewWithImage(const Ref<NSImage>& image)
{
    auto view = makeRef<NSImageView>();
    view->setImage(image);
    view->sizeToFit();
    return view;
}

void NSImageView::setImageScaling(NSImageScaling scaling)
{
    m_scaling = scaling;
    setNeedsDisplay(true);
}

void NSImageView::setImageAlignment(NSImageAlignment alignment)
{
    m_alignment = alignment;
    setNeedsDisplay(true);
}

void NSImageView::sizeToFit()
{
    if (auto img = image())
        setFrameSize(img->size());
}

CGRect NSImageScaledRect(CGSize size, CGRect b, NSImageScaling scaling)
{
    if (size.width <= 0 || size.height <= 0)
        return CGRectZero;
    switch (scaling) {
    case NSImageScaleAxesIndependently:
        return b;
    case NSImageScaleNone:
        break;
    case NSImageScaleProportionallyDown:
    case NSImageScaleProportionallyUpOrDown: {
        CGFloat scale = std::min(b.size.width / size.width, b.size.height / size.height);
        if (scaling == NSImageScaleProportionallyDown)
            scale = std::min(scale, 1.0);
        size = { size.width * scale, size.height * scale };
        break;
    }
    }
    return { { b.origin.x + (b.size.width - size.width) / 2, b.origin.y + (b.size.height - size.height) / 2 }, size };
}

CGRect NSImageView::imageRect() const
{
    auto img = image();
    CGRect b = bounds();
    if (!img)
        return CGRectZero;
    CGRect placed = NSImageScaledRect(img->size(), b, m_scaling);
    if (CGRectIsEmpty(placed))
        return CGRectZero;
    CGSize size = placed.size;
    CGFloat x = placed.origin.x;
    CGFloat y = placed.origin.y;
    bool left = m_alignment == NSImageAlignLeft || m_alignment == NSImageAlignTopLeft || m_alignment == NSImageAlignBottomLeft;
    bool right = m_alignment == NSImageAlignRight || m_alignment == NSImageAlignTopRight || m_alignment == NSImageAlignBottomRight;
    bool top = m_alignment == NSImageAlignTop || m_alignment == NSImageAlignTopLeft || m_alignment == NSImageAlignTopRight;
    bool bottom = m_alignment == NSImageAlignBottom || m_alignment == NSImageAlignBottomLeft || m_alignment == NSImageAlignBottomRight;
    if (left)
        x = b.origin.x;
    if (right)
        x = CGRectGetMaxX(b) - size.width;
    // The view is unflipped: the top is the maximum y.
    if (top)
        y = CGRectGetMaxY(b) - size.height;
    if (bottom)
        y = b.origin.y;
    return { { x, y }, size };
}

void NSImageView::drawRect(CGRect)
{
    auto img = image();
    if (!img)
        return;
    img->drawInRect(imageRect(), CGRectZero, NSCompositingOperationSourceOver, isEnabled() ? 1.0 : 0.5);
}
