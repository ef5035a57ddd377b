#include "FBFlatButton.h"

#include <animation/CAShapeLayer.h>
#include <animation/CATextLayer.h>
#include <appkit/NSApplication.h>
#include <appkit/NSEvent.h>
#include <graphics/NSImage.h>
#include <graphics/NSStringDrawing.h>

#include <cmath>

FBFlatButton::FBFlatButton(CGRect frame)
    : NSButton(frame)
{
    setup();
    setupImageLayer();
    setupTitleLayer();
}

void FBFlatButton::setup()
{
    setWantsLayer(true);
    layer()->setMasksToBounds(true);
    layer()->setDelegate(this);
    layer()->setBackgroundColor(NSColor::redColor()->CGColor());
    setAlphaValue(isEnabled() ? 1.0 : 0.5);
}

void FBFlatButton::awakeFromNib()
{
    NSButton::awakeFromNib();
    constexpr NSTrackingAreaOptions kOptions
        = NSTrackingMouseEnteredAndExited | NSTrackingActiveAlways | NSTrackingInVisibleRect;
    m_trackingArea = makeRef<NSTrackingArea>(bounds(), kOptions, selfRef<NSResponder>());
    addTrackingArea(m_trackingArea);
}

const Ref<CAShapeLayer>& FBFlatButton::imageLayer()
{
    if (!m_imageLayer) {
        m_imageLayer = CAShapeLayer::layer();
        m_imageLayer->setDelegate(this);
    }
    return m_imageLayer;
}

const Ref<CATextLayer>& FBFlatButton::titleLayer()
{
    if (!m_titleLayer) {
        m_titleLayer = CATextLayer::layer();
        m_titleLayer->setDelegate(this);
    }
    return m_titleLayer;
}

// MARK: Properties

void FBFlatButton::setMomentary(bool flag)
{
    m_momentary = flag;
    animateColorWithState(state());
}

void FBFlatButton::setCornerRadius(CGFloat radius)
{
    m_cornerRadius = radius;
    layer()->setCornerRadius(radius);
}

void FBFlatButton::setBorderWidth(CGFloat width)
{
    m_borderWidth = width;
    layer()->setBorderWidth(width);
}

void FBFlatButton::setSpacing(CGFloat spacing)
{
    m_spacing = spacing;
    setupImageLayer();
    setupTitleLayer();
}

#define FB_COLOR_SETTER(Name, member)                                                                        \
    void FBFlatButton::set##Name(const Ref<NSColor>& color)                                                  \
    {                                                                                                        \
        member = color;                                                                                      \
        animateColorWithState(state());                                                                      \
    }
FB_COLOR_SETTER(BorderNormalColor, m_borderNormalColor)
FB_COLOR_SETTER(BorderHighlightColor, m_borderHighlightColor)
FB_COLOR_SETTER(BackgroundNormalColor, m_backgroundNormalColor)
FB_COLOR_SETTER(BackgroundHighlightColor, m_backgroundHighlightColor)
FB_COLOR_SETTER(ImageNormalColor, m_imageNormalColor)
FB_COLOR_SETTER(ImageHighlightColor, m_imageHighlightColor)
FB_COLOR_SETTER(TitleNormalColor, m_titleNormalColor)
FB_COLOR_SETTER(TitleHighlightColor, m_titleHighlightColor)
#undef FB_COLOR_SETTER

// MARK: Overrides that re-lay out

void FBFlatButton::setFrame(CGRect frame)
{
    NSButton::setFrame(frame);
    setupTitleLayer();
}

void FBFlatButton::setFont(const Ref<NSFont>& font)
{
    NSButton::setFont(font);
    setupTitleLayer();
}

void FBFlatButton::setTitle(const std::string& title)
{
    // Bound titles (the number badges) are set again with the same text
    // whenever their source announces a change: nothing to lay out or draw.
    if (title == this->title() && !buttonCell().attributedTitle())
        return;
    NSButton::setTitle(title);
    setupTitleLayer();
}

void FBFlatButton::setImage(const Ref<NSImage>& image)
{
    NSButton::setImage(image);
    setupImageLayer();
}

void FBFlatButton::setImagePosition(NSCellImagePosition position)
{
    NSButton::setImagePosition(position);
    setupImageLayer();
    setupTitleLayer();
}

void FBFlatButton::setState(NSControlStateValue state)
{
    NSButton::setState(state);
    animateColorWithState(state);
}

// MARK: Layout

namespace {

CGSize titleSize(const FBFlatButton& button)
{
    NSStringAttributes attributes;
    attributes.font = button.font();
    return sizeWithAttributes(button.title(), attributes);
}

// Where one of the button's two parts (its image or its title) goes beside
// the other. Hugging keeps the pair centred with the spacing between them;
// otherwise the part keeps the spacing from its own edge.
enum class Place { Origin, Centre, BeforeX, AfterX, BeforeY, AfterY };

CGPoint partOrigin(Place place, CGSize box, CGSize part, CGSize other, CGFloat spacing, bool hug)
{
    auto before = [&](CGFloat length, CGFloat mine, CGFloat theirs) {
        return hug ? (length - mine - theirs) / 2 - spacing : spacing;
    };
    auto after = [&](CGFloat length, CGFloat mine, CGFloat theirs) {
        return hug ? (length - mine + theirs) / 2 + spacing : length - mine - spacing;
    };
    CGFloat centreX = (box.width - part.width) / 2, centreY = (box.height - part.height) / 2;
    switch (place) {
    case Place::Centre:
        return { centreX, centreY };
    case Place::BeforeX:
        return { before(box.width, part.width, other.width), centreY };
    case Place::AfterX:
        return { after(box.width, part.width, other.width), centreY };
    case Place::BeforeY:
        return { centreX, before(box.height, part.height, other.height) };
    case Place::AfterY:
        return { centreX, after(box.height, part.height, other.height) };
    case Place::Origin:
        break;
    }
    return { 0, 0 };
}

}

void FBFlatButton::setupImageLayer()
{
    auto picture = image();
    NSCellImagePosition position = imagePosition();
    if (!picture || position == NSNoImage) {
        imageLayer()->removeFromSuperlayer();
        return;
    }
    CGSize imageSize = picture->size();
    Place place = Place::Origin;
    switch (position) {
    case NSImageOnly:
    case NSImageOverlaps:
        place = Place::Centre;
        break;
    case NSImageLeft:
    case NSImageLeading:
        place = Place::BeforeX;
        break;
    case NSImageRight:
    case NSImageTrailing:
        place = Place::AfterX;
        break;
    case NSImageBelow:
        place = Place::AfterY;
        break;
    case NSImageAbove:
        place = Place::BeforeY;
        break;
    default:
        break;
    }
    CGPoint origin = partOrigin(place, frame().size, imageSize, titleSize(*this), m_spacing, imageHugsTitle());
    auto& shown = imageLayer();
    shown->setFrame(bounds());
    auto mask = CALayer::layer();
    CGRect maskFrame = CGRectMake(std::round(origin.x), std::round(origin.y), imageSize.width, imageSize.height);
    mask->setFrame(maskFrame);
    mask->setContents(picture->CGImageForProposedRect(&maskFrame, nullptr, nullptr));
    shown->setMask(mask);
    layer()->addSublayer(shown);
}

void FBFlatButton::setupTitleLayer()
{
    // A button has no nil title here: an empty one stands for it.
    NSCellImagePosition position = imagePosition();
    if (title().empty() || position == NSImageOnly) {
        titleLayer()->removeFromSuperlayer();
        return;
    }
    auto picture = image();
    CGSize imageSize = picture ? picture->size() : CGSizeZero;
    CGSize text = titleSize(*this);
    Place place = Place::Origin;
    switch (position) {
    case NSNoImage:
    case NSImageOverlaps:
        place = Place::Centre;
        break;
    case NSImageLeft:
    case NSImageLeading:
        place = Place::AfterX;
        break;
    case NSImageRight:
    case NSImageTrailing:
        place = Place::BeforeX;
        break;
    case NSImageBelow:
        place = Place::BeforeY;
        break;
    case NSImageAbove:
        place = Place::AfterY;
        break;
    default:
        break;
    }
    CGPoint origin = partOrigin(place, frame().size, text, imageSize, m_spacing, imageHugsTitle());
    auto& shown = titleLayer();
    shown->setFrame(CGRectMake(std::round(origin.x), std::round(origin.y), std::ceil(text.width), std::ceil(text.height)));
    shown->setString(title());
    shown->setFont(font());
    shown->setFontSize(font() ? font()->pointSize() : 0);
    layer()->addSublayer(shown);
}

// MARK: Colours

void FBFlatButton::removeAllAnimations()
{
    layer()->removeAllAnimations();
    for (const auto& sublayer : std::vector<Ref<CALayer>>(layer()->sublayers()))
        sublayer->removeAllAnimations();
}

void FBFlatButton::animateColorWithState(NSControlStateValue state)
{
    removeAllAnimations();
    bool on = state == NSControlStateValueOn;
    double duration = on ? m_onAnimateDuration : m_offAnimateDuration;
    const auto& border = on ? m_borderHighlightColor : m_borderNormalColor;
    const auto& background = on ? m_backgroundHighlightColor : m_backgroundNormalColor;
    const auto& title = on ? m_titleHighlightColor : m_titleNormalColor;
    const auto& picture = on ? m_imageHighlightColor : m_imageNormalColor;
    animateLayer(layer(), border, "borderColor", duration);
    animateLayer(layer(), background, "backgroundColor", duration);
    animateLayer(imageLayer(), picture, "backgroundColor", duration);
    animateLayer(titleLayer(), title, "foregroundColor", duration);
}

void FBFlatButton::animateLayer(
    const Ref<CALayer>& layer, const Ref<NSColor>& color, const std::string& keyPath, double duration)
{
    if (!layer) return;
    CAValue current = layer->animatableValue(keyPath);
    auto currentColor = std::get_if<CGColorRef>(&current);
    CGColorRef target = color ? color->CGColor() : nullptr;
    if (currentColor && CGColorEqualToColor(*currentColor, target)) return;
    auto animation = CABasicAnimation::animationWithKeyPath(keyPath);
    animation->setFromValue(current);
    animation->setToValue(target);
    animation->setDuration(duration);
    animation->setRemovedOnCompletion(false);
    CATransaction::begin();
    // A layer takes the transaction's duration for an animation of none;
    // the button's zero means at once, so the first frame already shows
    // the new colour (an ultra-dark badge has its ring from the start).
    CATransaction::setAnimationDuration(duration);
    layer->addAnimation(animation, keyPath);
    CATransaction::setDisableActions(true);
    layer->setAnimatableValue(keyPath, target);
    CATransaction::commit();
}

// MARK: Mouse

Ref<NSView> FBFlatButton::hitTest(CGPoint pointInSuperview)
{
    if (!isEnabled()) return nullptr;
    return NSButton::hitTest(pointInSuperview);
}

void FBFlatButton::toggleState()
{
    setState(state() == NSControlStateValueOn ? NSControlStateValueOff : NSControlStateValueOn);
}

void FBFlatButton::mouseDown(const Ref<NSEvent>&)
{
    if (!isEnabled()) return;
    m_mouseDown = true;
    toggleState();
}

void FBFlatButton::mouseEntered(const Ref<NSEvent>&)
{
    if (m_mouseDown) toggleState();
}

void FBFlatButton::mouseExited(const Ref<NSEvent>&)
{
    if (!m_mouseDown) return;
    m_mouseDown = false;
    toggleState();
}

void FBFlatButton::mouseUp(const Ref<NSEvent>& event)
{
    if (!m_mouseDown) return;
    m_mouseDown = false;
    // A button without its tracking area (made in code) never hears the
    // mouse leave; a release outside it cancels the press all the same.
    if (event && !mouse(convertPointFromView(event->locationInWindow(), nullptr), bounds())) {
        toggleState();
        return;
    }
    if (m_momentary) toggleState();
    NSApp().sendAction(action(), target(), selfRef<NSObject>());
}
