#include "GridCellInterface.h"

#include "BadgeView.h"
#include "GridCollectionViewItem.h"
#include "GridViewController.h"
#include "QXImageSizeTransformer.h"
#include "WindowButton.h"
#include "WidthFollowingScrollView.h"
#include "WindowManViewPanel.h"

#include <appkit/NSImageView.h>
#include <appkit/NSKeyValueBinding.h>
#include <appkit/NSScrollView.h>
#include <appkit/NSValueTransformer.h>
#include <appkit/NSWindow.h>
#include <graphics/NSBezierPath.h>
#include <graphics/NSGraphicsContext.h>
#include <graphics/NSImage.h>
#include <model/WindowPosition.h>
#include <toolkit/FBFlatButton.h>

namespace {

// MARK: Glyphs of the hover buttons

constexpr CGSize kPositionGlyphSize { 22, 14 };

// A screen outline with the part the window would take filled in.
Ref<NSImage> positionGlyph(WindowPosition position)
{
    auto image = NSImage::create(kPositionGlyphSize);
    image->lockFocus();
    CGRect screen = CGRectMake(1, 1, kPositionGlyphSize.width - 2, kPositionGlyphSize.height - 2);
    CGFloat w = screen.size.width;
    CGRect part = screen;
    switch (position) {
    case WindowPositionLeft30:
        part.size.width = w * 0.3;
        break;
    case WindowPositionLeftHalf:
        part.size.width = w * 0.5;
        break;
    case WindowPositionLeft60:
        part.size.width = w * 0.6;
        break;
    case WindowPositionCenter:
        part = CGRectInset(screen, w / 6, screen.size.height / 6);
        break;
    case WindowPositionRight60:
        part.origin.x += w * 0.4;
        part.size.width = w * 0.6;
        break;
    case WindowPositionRightHalf:
        part.origin.x += w * 0.5;
        part.size.width = w * 0.5;
        break;
    case WindowPositionRight30:
        part.origin.x += w * 0.7;
        part.size.width = w * 0.3;
        break;
    default:
        break;
    }
    NSColor::whiteColor()->set();
    NSBezierPath::fillRect(part);
    auto outline = NSBezierPath::bezierPathWithRoundedRect(CGRectInset(screen, 0.5, 0.5), 2, 2);
    outline->setLineWidth(1);
    outline->stroke();
    image->unlockFocus();
    image->setTemplate(true);
    return image;
}

// The window buttons' round glyphs in their usual colours.
Ref<NSImage> roundGlyph(CGFloat side, CGFloat r, CGFloat g, CGFloat b)
{
    auto image = NSImage::create(CGSizeMake(side, side));
    image->lockFocus();
    NSColor::colorWithDeviceRed(r, g, b, 1)->setFill();
    NSBezierPath::bezierPathWithOvalInRect(CGRectMake(0.5, 0.5, side - 1, side - 1))->fill();
    image->unlockFocus();
    return image;
}

Ref<WindowButton> hoverButton(GridCollectionViewItem& item, CGRect frame, long tag, const Ref<NSImage>& glyph)
{
    auto button = makeRef<WindowButton>(frame);
    button->setBordered(false);
    button->setTitle("");
    button->setImage(glyph);
    button->setImagePosition(NSImageOnly);
    button->setTag(tag);
    button->setTarget(item.selfRef<NSObject>());
    button->setAction("windowAction:");
    return button;
}

// The window title, in the text colour of the panel's appearance.
class GridTitleLabel : public NSTextField {
public:
    using NSTextField::NSTextField;
    void drawRect(CGRect dirtyRect) override
    {
        bool dark = window() && window()->appearance() == NSAppearanceNameVibrantDark;
        textFieldCell().setTextColor(dark ? NSColor::whiteColor() : NSColor::blackColor());
        NSTextField::drawRect(dirtyRect);
    }
};

// YES when a window has no number to show: none at all, or an empty one
// (the windows past the ninth).
class NoBadgeTransformer : public NSValueTransformer {
public:
    std::string transformedValueClass() const override { return "NSNumber"; }
    Value transformedValue(const Value& value) const override
    {
        return Value(value.isNil() || value.stringValue().empty());
    }
};

Value transformerOptions(const std::string& name)
{
    return Value(Value::Dictionary { { NSValueTransformerNameBindingOption, Value(name) } });
}

}

void buildGridCollectionViewItemInterface(GridCollectionViewItem& item)
{
    using namespace GridCellLayout;
    auto self = item.selfRef<NSObject>();
    auto view = makeRef<NSView>(CGRect { {}, kCellSize });

    auto preview = makeRef<NSImageView>(kPreviewFrame);
    preview->setImageScaling(NSImageScaleProportionallyDown);
    view->addSubview(preview);

    // A click on the preview switches to the window. The button draws
    // nothing; it only takes the click.
    auto activate = makeRef<NSButton>(kPreviewFrame);
    activate->setBordered(false);
    activate->setTitle("");
    activate->setTag(GridCollectionViewItem::TagActivate);
    activate->setTarget(self);
    activate->setAction("windowAction:");
    view->addSubview(activate);

    auto title = makeRef<GridTitleLabel>(kTitleFrame);
    title->setEditable(false);
    title->setSelectable(false);
    title->setBezeled(false);
    title->setDrawsBackground(false);
    title->setAlignment(NSTextAlignmentCenter);
    title->setLineBreakMode(NSLineBreakByTruncatingMiddle);
    title->setFont(NSFont::systemFontOfSize(12));
    view->addSubview(title);

    auto panel = makeRef<WindowManViewPanel>(kHoverPanelFrame);
    const std::pair<long, WindowPosition> positions[] = {
        { GridCollectionViewItem::TagLeft30, WindowPositionLeft30 },
        { GridCollectionViewItem::TagLeftHalf, WindowPositionLeftHalf },
        { GridCollectionViewItem::TagLeft60, WindowPositionLeft60 },
        { GridCollectionViewItem::TagCenter, WindowPositionCenter },
        { GridCollectionViewItem::TagRight60, WindowPositionRight60 },
        { GridCollectionViewItem::TagRightHalf, WindowPositionRightHalf },
        { GridCollectionViewItem::TagRight30, WindowPositionRight30 },
    };
    CGFloat step = kHoverPanelFrame.size.width / std::size(positions);
    for (size_t i = 0; i < std::size(positions); ++i) {
        CGRect frame = CGRectMake(step * static_cast<CGFloat>(i), 0, step, kHoverPanelFrame.size.height);
        panel->addSubview(hoverButton(item, frame, positions[i].first, positionGlyph(positions[i].second)));
    }
    view->addSubview(panel);

    auto lightFrame = [](int i) {
        return CGRectMake(kTrafficLightOrigin.x + kTrafficLightStep * i, kTrafficLightOrigin.y,
            kTrafficLightSide, kTrafficLightSide);
    };
    auto close = hoverButton(item, lightFrame(0), GridCollectionViewItem::TagClose,
        roundGlyph(kTrafficLightSide, 1.0, 0.37, 0.34));
    auto minimize = hoverButton(item, lightFrame(1), GridCollectionViewItem::TagMinimize,
        roundGlyph(kTrafficLightSide, 1.0, 0.74, 0.18));
    auto maximize = hoverButton(item, lightFrame(2), GridCollectionViewItem::TagMaximize,
        roundGlyph(kTrafficLightSide, 0.16, 0.78, 0.25));
    view->addSubview(close);
    view->addSubview(minimize);
    view->addSubview(maximize);

    // The badge view is kept for the cell's outlet; the flat button shows
    // the number.
    auto badgeView = makeRef<BadgeView>();
    badgeView->setFrame(kBadgeFrame);
    badgeView->setHidden(true);
    view->addSubview(badgeView);

    auto badge = makeRef<FBFlatButton>(kBadgeFrame);
    badge->setFont(NSFont::boldSystemFontOfSize(11));
    badge->setImagePosition(NSNoImage);
    // A click shows the pressed look only while the mouse is down: the badge
    // is not a switch.
    badge->setMomentary(true);
    view->addSubview(badge);

    item.setView(view);
    item.setOutlets(close, minimize, maximize, panel, title, badge, preview);
    item.setBadgeView(badgeView);

    preview->bind(NSValueBinding, self, "representedObject.previewImage",
        transformerOptions(GridCollectionViewItem::kTransformerName));
    title->bind(NSValueBinding, self, "representedObject.title");
    badge->bind(NSTitleBinding, self, "representedObject.hotkeyIndexText");
    // Windows past the ninth have no number, and show no empty badge.
    badge->bind(NSHiddenBinding, self, "representedObject.hotkeyIndexText",
        Value(
            Value::Dictionary { { NSValueTransformerBindingOption, Value(makeRef<NoBadgeTransformer>()) } }));

    badge->awakeFromNib();
}

void buildGridViewControllerInterface(GridViewController& controller)
{
    constexpr CGFloat kWidth
        = GridViewController::kColumnCount * GridViewController::kItemWidth + 2 * kGridSideMargin;
    constexpr CGFloat kHeight = GridViewController::kItemHeight + kGridBottomMargin;
    auto view = makeRef<NSView>(CGRectMake(0, 0, kWidth, kHeight));

    CGRect scrollFrame = CGRectMake(
        kGridSideMargin, kGridBottomMargin, kWidth - 2 * kGridSideMargin, kHeight - kGridBottomMargin);
    auto scroll = makeRef<WidthFollowingScrollView>(scrollFrame);
    scroll->setDrawsBackground(false);
    scroll->setHasVerticalScroller(true);
    scroll->setAutoresizingMask(NSViewWidthSizable | NSViewHeightSizable);
    auto grid = makeRef<NSCollectionView>(CGRectMake(0, 0, scrollFrame.size.width, scrollFrame.size.height));
    grid->setSelectable(true);
    grid->setDelegate(controller.selfRef<NSObject>());
    scroll->setDocumentView(grid);
    view->addSubview(scroll);

    controller.setView(view);
    controller.setCollectionView(grid);
}
