#include "TKStringView.h"

#include "NSViewCoreExtensions.h"
#include "NSWindowUtilities.h"

TKStringView::TKStringView(CGRect frame)
    : NSTextField(frame)
{
    setEditable(false);
    setSelectable(false);
    setDrawsBackground(false);
    setBackgroundColor(nullptr);
    setBordered(false);
    setBezeled(false);
    cell()->setLineBreakMode(NSLineBreakByTruncatingMiddle);
}

TKStringView::TKStringView(CGRect frame, InterfaceFile)
    : NSTextField(frame)
{
}

Ref<TKStringView> TKStringView::stringView(NSBackgroundStyle style)
{
    auto view = makeRef<TKStringView>(CGRectMake(0, 0, 10, 10));
    view->setCellBackgroundStyle(style);
    return view;
}

Ref<NSView> TKStringView::hitTest(CGPoint) { return nullptr; }

void TKStringView::drawRect(CGRect dirtyRect)
{
    NSViewCoreExtensions::askParentToDrawBackground(*this);
    // The cell's own flag, not the control's: changing the control would ask
    // for another display from inside this one.
    auto window = this->window();
    if (window && NSWindowUtilities::dimControls(*window)) {
        cell()->setEnabled(false);
    } else {
        cell()->setEnabled(true);
        cell()->setBackgroundStyle(m_cellBackgroundStyle);
    }
    NSTextField::drawRect(dirtyRect);
}

CGSize TKStringView::minSizeToFit()
{
    if (CGSizeEqualToSize(m_cachedMinSizeToFit, CGSizeZero)) {
        CGSize size = attributedStringValue()->size();
        size.width += kMinSizeWidthMargin;
        m_cachedMinSizeToFit = size;
    }
    return m_cachedMinSizeToFit;
}

void TKStringView::setStringValue(const std::string& value)
{
    NSTextField::setStringValue(value);
    setCachedMinSizeToFit(CGSizeZero);
}

void TKStringView::setObjectValue(const Value& value)
{
    // A bound title is set again whenever its window announces a change:
    // the same text is measured again but not drawn again.
    if (value.type() != objectValue().type() || !(value == objectValue()))
        NSTextField::setObjectValue(value);
    setCachedMinSizeToFit(CGSizeZero);
}

void TKStringView::setAttributedStringValue(const Ref<NSAttributedString>& text)
{
    NSTextField::setAttributedStringValue(text);
    setCachedMinSizeToFit(CGSizeZero);
}
