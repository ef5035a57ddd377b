#include "GridCellInterface.h"

#include "BadgeView.h"
#include "GridCollectionViewItem.h"
#include "GridViewController.h"
#include "QXImageSizeTransformer.h"
#include "SwitcherLayoutSupport.h"
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

#include <array>

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

// The hover buttons' glyphs are the same in every cell and never drawn
// into again: drawn once, on the first cell, and shared (a panel makes a
// cell per window in sight, and drawing ten small images for each was most
// of making it).
struct CellGlyphs {
    std::array<Ref<NSImage>, 7> positions;
    Ref<NSImage> close, minimize, maximize;
};

const CellGlyphs& cellGlyphs()
{
    static const CellGlyphs glyphs = [] {
        CellGlyphs made;
        const WindowPosition order[] = { WindowPositionLeft30, WindowPositionLeftHalf, WindowPositionLeft60,
            WindowPositionCenter, WindowPositionRight60, WindowPositionRightHalf, WindowPositionRight30 };
        for (size_t i = 0; i < made.positions.size(); ++i)
            made.positions[i] = positionGlyph(order[i]);
        using namespace GridCellLayout;
        made.close = roundGlyph(kTrafficLightSide, 1.0, 0.37, 0.34);
        made.minimize = roundGlyph(kTrafficLightSide, 1.0, 0.74, 0.18);
        made.maximize = roundGlyph(kTrafficLightSide, 0.16, 0.78, 0.25);
        return made;
    }();
    return glyphs;
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

// The cell's preview. Its pictures are the transformer's shrunk copies,
// which nothing draws into once made (a new capture makes a new copy): the
// same copy handed again, as every refresh of an unchanged window does,
// shows the same pixels and is not drawn again.
class GridPreviewView : public NSImageView {
public:
    using NSImageView::NSImageView;
    bool showsValue(const Value& value) const override
    {
        auto held = objectValue().objectAs<NSImage>();
        return (held && held == value.objectAs<NSImage>()) || NSImageView::showsValue(value);
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

    auto preview = makeRef<GridPreviewView>(kPreviewFrame);
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
    // In the order of cellGlyphs().positions.
    const long positionTags[] = { GridCollectionViewItem::TagLeft30, GridCollectionViewItem::TagLeftHalf,
        GridCollectionViewItem::TagLeft60, GridCollectionViewItem::TagCenter, GridCollectionViewItem::TagRight60,
        GridCollectionViewItem::TagRightHalf, GridCollectionViewItem::TagRight30 };
    const auto& glyphs = cellGlyphs();
    CGFloat step = kHoverPanelFrame.size.width / std::size(positionTags);
    for (size_t i = 0; i < std::size(positionTags); ++i) {
        CGRect frame = CGRectMake(step * static_cast<CGFloat>(i), 0, step, kHoverPanelFrame.size.height);
        panel->addSubview(hoverButton(item, frame, positionTags[i], glyphs.positions[i]));
    }
    view->addSubview(panel);

    auto lightFrame = [](int i) {
        return CGRectMake(kTrafficLightOrigin.x + kTrafficLightStep * i, kTrafficLightOrigin.y,
            kTrafficLightSide, kTrafficLightSide);
    };
    auto close = hoverButton(item, lightFrame(0), GridCollectionViewItem::TagClose, glyphs.close);
    auto minimize = hoverButton(item, lightFrame(1), GridCollectionViewItem::TagMinimize, glyphs.minimize);
    auto maximize = hoverButton(item, lightFrame(2), GridCollectionViewItem::TagMaximize, glyphs.maximize);
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
    bindNumberBadge(*badge, self, "representedObject.hotkeyIndexText");

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
