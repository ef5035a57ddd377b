// The toolbar's strip across the top of a window: geometry, painting and
// the clicks on its items.
#include "NSWindow.h"

#include "NSAttributedString.h"
#include "NSToolbar.h"
#include "NSToolbarItem.h"
#include "NSView.h"

#include <graphics/NSColor.h>
#include <graphics/NSFont.h>
#include <graphics/NSGraphicsContext.h>
#include <graphics/NSImage.h>

#include <algorithm>

namespace {

constexpr CGFloat kImageSide = 32;
constexpr CGFloat kLabelFontSize = 11;
constexpr CGFloat kItemPadding = 8;
constexpr CGFloat kMinimumItemWidth = 56;
constexpr CGFloat kItemGap = 4;
constexpr CGFloat kHighlightCorner = 6;

bool isSpaceItem(const NSToolbarItem& item)
{
    const auto& identifier = item.itemIdentifier();
    return identifier == NSToolbarFlexibleSpaceItemIdentifier || identifier == NSToolbarSpaceItemIdentifier
        || identifier == NSToolbarSeparatorItemIdentifier;
}

NSAttributedString labelText(const NSToolbarItem& item)
{
    NSStringAttributes attributes;
    attributes.font = NSFont::systemFontOfSize(kLabelFontSize);
    attributes.foregroundColor = item.isEnabled() ? NSColor::controlTextColor() : NSColor::disabledControlTextColor();
    return NSAttributedString(item.label(), attributes);
}

}

CGRect NSWindow::contentRectForFrameRect(CGRect frame) const
{
    frame.size.height = std::max(0.0, frame.size.height - toolbarHeight());
    return frame;
}

CGRect NSWindow::frameRectForContentRect(CGRect content) const
{
    content.size.height += toolbarHeight();
    return content;
}

CGRect NSWindow::contentViewFrame() const
{
    return CGRectMake(0, 0, m_frame.size.width, std::max(0.0, m_frame.size.height - toolbarHeight()));
}

std::vector<std::pair<Ref<NSToolbarItem>, CGRect>> NSWindow::toolbarItemFrames() const
{
    std::vector<std::pair<Ref<NSToolbarItem>, CGRect>> frames;
    if (!m_toolbar)
        return frames;
    // Items are as wide as their label (at least a fixed width), in a row
    // centred in the strip; space items take no room.
    CGFloat total = 0;
    for (const auto& item : m_toolbar->visibleItems()) {
        CGFloat width = isSpaceItem(*item)
            ? 0
            : std::max(kMinimumItemWidth, std::ceil(labelText(*item).size().width) + 2 * kItemPadding);
        frames.push_back({ item, CGRectMake(0, m_frame.size.height - kToolbarHeight, width, kToolbarHeight) });
        total += width + (width > 0 ? kItemGap : 0);
    }
    CGFloat x = std::max(0.0, std::floor((m_frame.size.width - (total - kItemGap)) / 2));
    for (auto& [item, frame] : frames) {
        frame.origin.x = x;
        x += frame.size.width + (frame.size.width > 0 ? kItemGap : 0);
    }
    std::erase_if(frames, [](const auto& entry) { return entry.second.size.width <= 0; });
    return frames;
}

Ref<NSToolbarItem> NSWindow::toolbarItemAtPoint(CGPoint point) const
{
    for (const auto& [item, frame] : toolbarItemFrames())
        if (CGRectContainsPoint(frame, point))
            return item;
    return nullptr;
}

void NSWindow::toolbarDidChange()
{
    CGFloat height = toolbarHeight();
    if (height > 0)
        invalidateRect(CGRectMake(0, m_frame.size.height - height, m_frame.size.width, height));
}

void NSWindow::drawToolbar(const CGContextRef& context, CGRect dirty)
{
    CGRect strip = CGRectMake(0, m_frame.size.height - kToolbarHeight, m_frame.size.width, kToolbarHeight);
    if (!CGRectIntersectsRect(strip, dirty))
        return;
    CGContextStateSaver saver(context);
    auto previous = NSGraphicsContext::currentContext();
    NSGraphicsContext::setCurrentContext(NSGraphicsContext::graphicsContextWithCGContext(context, false));

    // A hairline between the strip and the content.
    CGContextSetFillColorWithColor(context, NSColor::gridColor()->colorWithAlphaComponent(0.5)->CGColor());
    CGContextFillRect(context, CGRectMake(0, strip.origin.y, strip.size.width, 1));

    bool labelsOnly = m_toolbar->displayMode() == NSToolbarDisplayMode::LabelOnly;
    const auto& selected = m_toolbar->selectedItemIdentifier();
    for (const auto& [item, frame] : toolbarItemFrames()) {
        if (!selected.empty() && item->itemIdentifier() == selected) {
            CGContextSetFillColorWithColor(context, NSColor::secondarySelectedControlColor()->CGColor());
            CGPathRef highlight = CGPathCreateWithRoundedRect(CGRectInset(frame, 0, 3), kHighlightCorner, kHighlightCorner, nullptr);
            CGContextAddPath(context, highlight);
            CGContextFillPath(context);
        }
        auto label = labelText(*item);
        CGSize size = label.size();
        CGFloat labelY = labelsOnly ? CGRectGetMidY(frame) - size.height / 2 : frame.origin.y + 5;
        if (!labelsOnly && item->image()) {
            CGRect image = CGRectMake(CGRectGetMidX(frame) - kImageSide / 2, CGRectGetMaxY(frame) - 4 - kImageSide,
                kImageSide, kImageSide);
            item->image()->drawInRect(image, CGRectZero, NSCompositingOperationSourceOver, item->isEnabled() ? 1.0 : 0.5);
        }
        label.drawAtPoint(CGPointMake(std::round(CGRectGetMidX(frame) - size.width / 2), std::round(labelY)));
    }
    NSGraphicsContext::setCurrentContext(previous);
}
