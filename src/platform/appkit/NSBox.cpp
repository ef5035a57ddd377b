#include "NSBox.h"

#include <graphics/NSBezierPath.h>
#include <graphics/NSGraphicsContext.h>

NSBox::NSBox(CGRect frame)
    : NSView(frame)
{
    setContentView(makeRef<NSView>(CGRectMake(0, 0, frame.size.width, frame.size.height)));
}

void NSBox::setBoxType(NSBoxType type)
{
    m_boxType = type;
    setNeedsDisplay(true);
}

void NSBox::setFillColor(const Ref<NSColor>& color)
{
    m_fillColor = color;
    setNeedsDisplay(true);
}

void NSBox::setBorderColor(const Ref<NSColor>& color)
{
    m_borderColor = color;
    setNeedsDisplay(true);
}

void NSBox::setBorderWidth(CGFloat width)
{
    m_borderWidth = std::max(0.0, width);
    setNeedsDisplay(true);
}

void NSBox::setCornerRadius(CGFloat radius)
{
    m_cornerRadius = std::max(0.0, radius);
    setNeedsDisplay(true);
}

void NSBox::setTransparent(bool flag)
{
    m_transparent = flag;
    setNeedsDisplay(true);
}

void NSBox::setContentView(const Ref<NSView>& view)
{
    if (m_contentView)
        m_contentView->removeFromSuperview();
    m_contentView = view;
    if (view) {
        view->setFrame(CGRectInset(bounds(), m_borderWidth, m_borderWidth));
        view->setAutoresizingMask(NSViewWidthSizable | NSViewHeightSizable);
        addSubview(view);
    }
}

void NSBox::drawRect(CGRect)
{
    if (m_transparent)
        return;
    if (m_boxType == NSBoxSeparator) {
        if (m_borderColor) {
            m_borderColor->setFill();
            NSBezierPath::fillRect(CGRectMake(0, bounds().size.height / 2, bounds().size.width, 1));
        }
        return;
    }
    CGRect rect = CGRectInset(bounds(), m_borderWidth / 2, m_borderWidth / 2);
    auto path = NSBezierPath::bezierPathWithRoundedRect(rect, m_cornerRadius, m_cornerRadius);
    if (m_fillColor) {
        m_fillColor->setFill();
        path->fill();
    }
    if (m_borderWidth > 0 && m_borderColor) {
        m_borderColor->setStroke();
        path->setLineWidth(m_borderWidth);
        path->stroke();
    }
}
