#include "DRModalWindowController.h"

#include "DRExportProtocols.h"

#include <javascriptcore/JSExport.h>

#include <appkit/NSAnimationContext.h>
#include <appkit/NSImageView.h>
#include <appkit/NSKeyValueBinding.h>
#include <appkit/NSLayoutConstraint.h>
#include <appkit/NSNib.h>
#include <appkit/NSPanel.h>
#include <appkit/NSTextField.h>
#include <appkit/NSVisualEffectView.h>
#include <appkit/NSWindow.h>
#include <foundation/Log.h>
#include <graphics/NSBezierPath.h>
#include <graphics/NSColor.h>
#include <graphics/NSFont.h>
#include <graphics/NSImage.h>

#include <cctype>
#include <cmath>
#include <map>

namespace {

// Room around the icon and the text inside the panel.
constexpr CGFloat kContentMargin = 12;
// The gap between icon and text when the panel has both.
constexpr CGFloat kSeparator = 10;
// The mask's corner radius, which is also its cap inset.
constexpr CGFloat kCornerRadius = 10;
constexpr CGFloat kMaskSide = 21;

std::string lowercase(std::string s)
{
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}

// The panel: a borderless floating window whose content holds the
// container with the icon view and the text field side by side. The icon
// view collapses to no width through a constraint whose priority the
// controller switches; the separator constraint holds the gap between the
// two. The icon and the text are bound to the controller's "icon" and
// "text".
static NSNibRegistration modalWindowNib("ModalWindow", [](NSObject& owner) {
    auto& controller = dynamic_cast<DRModalWindowController&>(owner);
    auto window = makeRef<NSPanel>(CGRectMake(0, 0, 200, 56), NSWindowStyleMaskBorderless | NSWindowStyleMaskNonactivatingPanel);
    auto content = window->contentView();
    auto container = makeRef<NSView>(content->bounds());
    container->setAutoresizingMask(NSViewWidthSizable | NSViewHeightSizable);
    content->addSubview(container);

    auto iconView = makeRef<NSImageView>(CGRectMake(kContentMargin, kContentMargin, 32, 32));
    iconView->setTranslatesAutoresizingMaskIntoConstraints(false);
    auto textField = NSTextField::labelWithString("");
    textField->setTranslatesAutoresizingMaskIntoConstraints(false);
    textField->setTextColor(NSColor::whiteColor());
    textField->setFont(NSFont::systemFontOfSize(controller.weight()));
    container->addSubview(iconView);
    container->addSubview(textField);

    using A = NSLayoutAttribute;
    auto zeroWidth = NSLayoutConstraint::constraintWithItem(iconView.get(), A::Width, nullptr, A::Width, 1, 0);
    auto separator = NSLayoutConstraint::constraintWithItem(textField.get(), A::Leading, iconView.get(), A::Trailing, 1, kSeparator);
    NSLayoutConstraint::activateConstraints({
        NSLayoutConstraint::constraintWithItem(iconView.get(), A::Leading, container.get(), A::Leading, 1, kContentMargin),
        NSLayoutConstraint::constraintWithItem(iconView.get(), A::CenterY, container.get(), A::CenterY, 1, 0),
        zeroWidth,
        separator,
        NSLayoutConstraint::constraintWithItem(textField.get(), A::CenterY, container.get(), A::CenterY, 1, 0),
    });

    auto self = controller.selfRef<NSObject>();
    iconView->bind(NSValueBinding, self, "icon");
    textField->bind(NSValueBinding, self, "text");

    controller.setContainerView(container);
    controller.setIconView(iconView);
    controller.setTextField(textField);
    controller.setIconViewZeroWidthConstraint(zeroWidth);
    controller.setSeparatorConstraint(separator);
    controller.setWindow(window);
});

namespace {

std::vector<Weak<DRModalWindowController>>& allPanels()
{
    static std::vector<Weak<DRModalWindowController>> panels;
    return panels;
}

}

std::vector<Ref<DRModalWindowController>> DRModalWindowController::shownPanels()
{
    std::erase_if(allPanels(), [](const Weak<DRModalWindowController>& p) { return p.expired(); });
    std::vector<Ref<DRModalWindowController>> shown;
    for (const auto& weak : allPanels())
        if (auto panel = weak.lock(); panel && panel->isWindowLoaded() && panel->window()->isVisible())
            shown.push_back(panel);
    return shown;
}

Ref<DRModalWindowController> DRModalWindowController::create()
{
    auto controller = makeRef<DRModalWindowController>();
    allPanels().push_back(controller);
    // The observers hold the controller weakly, so they start once it is
    // owned; then the defaults are set as a change of the observed keys.
    Weak<DRModalWindowController> weak = controller;
    for (const auto& key : keyPaths())
        controller->m_observers.push_back(controller->addObserver(key, 0, [weak, key](const KVOChange&) {
            if (auto self = weak.lock())
                self->observeValueForKeyPath(key);
        }));
    controller->setAnimationDuration(0.2);
    controller->setWeight(24);
    controller->setAppearance("dark");
    controller->setText("");
    return controller;
}

DRModalWindowController::DRModalWindowController()
    : NSWindowController("ModalWindow")
{
}

DRModalWindowController::~DRModalWindowController()
{
    m_observers.clear();
    if (m_closeTimer)
        m_closeTimer->invalidate();
}

const std::vector<std::string>& DRModalWindowController::keyPaths()
{
    static const std::vector<std::string> keys = { "icon", "message", "origin", "text" };
    return keys;
}

void DRModalWindowController::windowDidLoad()
{
    auto& w = window();
    w->setAlphaValue(0);
    w->setAnimationBehavior(NSWindowAnimationBehaviorAlertPanel);
    w->setBackgroundColor(NSColor::clearColor());
    w->setIgnoresMouseEvents(true);
    w->setLevel(NSFloatingWindowLevel);
    w->setOpaque(false);
}

Value DRModalWindowController::valueForKey(const std::string& key) const
{
    if (key == "icon")
        return Value(m_icon);
    if (key == "text")
        return m_text;
    if (key == "message")
        return m_message;
    return NSWindowController::valueForKey(key);
}

void DRModalWindowController::setValueForKey(const Value& value, const std::string& key)
{
    if (key == "icon")
        setIcon(value.objectAs<NSImage>());
    else if (key == "text")
        setText(value.stringValue());
    else
        NSWindowController::setValueForKey(value, key);
}

void DRModalWindowController::setOrigin(CGPoint origin)
{
    willChangeValueForKey("origin");
    m_origin = origin;
    didChangeValueForKey("origin");
}

void DRModalWindowController::setIcon(Ref<NSImage> icon)
{
    willChangeValueForKey("icon");
    m_icon = std::move(icon);
    didChangeValueForKey("icon");
}

void DRModalWindowController::setText(const std::string& text)
{
    willChangeValueForKey("text");
    m_text = text;
    didChangeValueForKey("text");
}

void DRModalWindowController::setMessage(const std::string& message)
{
    willChangeValueForKey("message");
    m_message = message;
    didChangeValueForKey("message");
}

void DRModalWindowController::observeValueForKeyPath(const std::string& keyPath)
{
    window();
    if (keyPath == "message") {
        NSLog("Deprecated: Property “message” for modal is deprecated and will be removed in later versions, use “text” instead.");
        setText(m_message);
    } else if (keyPath == "origin") {
        if (!std::isnan(m_origin.x) && !std::isnan(m_origin.y) && isWindowLoaded())
            window()->setFrameOrigin(m_origin);
    } else if (keyPath == "icon" || keyPath == "text") {
        layout();
    }
}

long DRModalWindowController::material() const
{
    static const std::map<std::string, long> materials = { { "dark", 0 }, { "light", 1 }, { "transparent", 2 } };
    auto it = materials.find(lowercase(m_appearance));
    return it == materials.end() ? 0 : it->second;
}

CGSize DRModalWindowController::fittingContentSize() const
{
    CGSize icon = m_icon ? m_icon->size() : CGSizeZero;
    CGSize text = hasText() && m_textField ? m_textField->intrinsicContentSize() : CGSizeZero;
    CGFloat separator = m_separatorConstraint ? m_separatorConstraint->constant() : 0;
    return { kContentMargin + icon.width + separator + text.width + kContentMargin,
        kContentMargin + std::max(icon.height, text.height) + kContentMargin };
}

void DRModalWindowController::layout()
{
    if (m_iconViewZeroWidthConstraint)
        m_iconViewZeroWidthConstraint->setPriority(m_icon ? NSLayoutPriorityDefaultLow : 999);
    if (m_separatorConstraint)
        m_separatorConstraint->setConstant(m_icon && hasText() ? kSeparator : 0);
    if (m_textField)
        m_textField->setFont(NSFont::systemFontOfSize(m_weight));
    if (!isWindowLoaded())
        return;
    // The panel keeps its bottom-left corner and takes the size its content
    // needs.
    auto& w = window();
    CGSize size = fittingContentSize();
    w->setFrame(CGRectMake(w->frame().origin.x, w->frame().origin.y, size.width, size.height), true);
}

CGRect DRModalWindowController::frame()
{
    layout();
    if (!isWindowLoaded())
        return CGRectZero;
    window()->layoutIfNeeded();
    return window()->frame();
}

void DRModalWindowController::setupVibrantAppearance()
{
    auto& w = window();
    auto effect = makeRef<NSVisualEffectView>(w->contentView()->frame());
    effect->setMaterial(NSVisualEffectMaterialDark);
    effect->setState(NSVisualEffectStateActive);
    if (material() == 1) {
        effect->setMaterial(NSVisualEffectMaterialLight);
        if (m_textField)
            m_textField->setTextColor(NSColor::blackColor());
    }
    auto mask = NSImage::create(CGSizeMake(kMaskSide, kMaskSide));
    mask->lockFocus();
    NSColor::blackColor()->setFill();
    NSBezierPath::bezierPathWithRoundedRect(CGRectMake(0, 0, kMaskSide, kMaskSide), kCornerRadius, kCornerRadius)->fill();
    mask->unlockFocus();
    mask->setCapInsets({ kCornerRadius, kCornerRadius, kCornerRadius, kCornerRadius });
    effect->setMaskImage(mask);

    if (m_containerView) {
        m_containerView->removeFromSuperview();
        m_containerView->setTranslatesAutoresizingMaskIntoConstraints(false);
        effect->addSubview(m_containerView);
        using A = NSLayoutAttribute;
        NSView* container = m_containerView.get();
        NSLayoutConstraint::activateConstraints({
            NSLayoutConstraint::constraintWithItem(container, A::Leading, effect.get(), A::Leading, 1, 0),
            NSLayoutConstraint::constraintWithItem(container, A::Trailing, effect.get(), A::Trailing, 1, 0),
            NSLayoutConstraint::constraintWithItem(container, A::Top, effect.get(), A::Top, 1, 0),
            NSLayoutConstraint::constraintWithItem(container, A::Bottom, effect.get(), A::Bottom, 1, 0),
        });
    }
    w->setContentView(effect);
}

void DRModalWindowController::fadeWindowToAlpha(double alpha, std::function<void()> completionHandler)
{
    Weak<NSWindow> weakWindow = window();
    double duration = m_animationDuration;
    NSAnimationContext::runAnimationGroup(
        [weakWindow, alpha, duration](NSAnimationContext& context) {
            context.setDuration(duration);
            if (auto w = weakWindow.lock())
                w->animator().setAlphaValue(alpha);
        },
        std::move(completionHandler));
}

void DRModalWindowController::show()
{
    if (!isDisplayable())
        return;
    if (material() != 2)
        setupVibrantAppearance();
    layout();
    window()->orderFront(nullptr);
    if (m_closeTimer)
        m_closeTimer->invalidate();
    Weak<DRModalWindowController> weak = selfRef<DRModalWindowController>();
    fadeWindowToAlpha(1.0, [weak] {
        auto self = weak.lock();
        if (!self || self->m_duration == 0)
            return;
        self->m_closeTimer = NSTimer::scheduledTimerWithTimeInterval(self->m_duration, false, [weak](NSTimer&) {
            if (auto panel = weak.lock())
                panel->close();
        });
    });
}

void DRModalWindowController::close()
{
    if (m_closeTimer)
        m_closeTimer->invalidate();
    m_closeTimer = nullptr;
    if (!isWindowLoaded())
        return;
    Weak<DRModalWindowController> weak = selfRef<DRModalWindowController>();
    fadeWindowToAlpha(0.0, [weak] {
        if (auto self = weak.lock())
            self->NSWindowController::close();
    });
}

const JSExportClass& DRModalWindowController::exportClass()
{
    static const JSExportClass& c = JSExportClass::define<DRModalWindowController>("Modal")
                                        .constructor("init", &DRModalWindowController::create)
                                        .method("frame", &DRModalWindowController::frame)
                                        .method("show", &DRModalWindowController::show)
                                        .method("close", &DRModalWindowController::close)
                                        .property("origin", &DRModalWindowController::origin, &DRModalWindowController::setOrigin)
                                        .property("duration", &DRModalWindowController::duration, &DRModalWindowController::setDuration)
                                        .property("animationDuration", &DRModalWindowController::animationDuration,
                                            &DRModalWindowController::setAnimationDuration)
                                        .property("weight", &DRModalWindowController::weight, &DRModalWindowController::setWeight)
                                        .property("appearance", &DRModalWindowController::appearance,
                                            &DRModalWindowController::setAppearance)
                                        .property("icon", &DRModalWindowController::icon, &DRModalWindowController::setIcon)
                                        .property("text", &DRModalWindowController::text, &DRModalWindowController::setText)
                                        .property("message", &DRModalWindowController::message, &DRModalWindowController::setMessage)
                                        .adopt(DRIdentifiableJSExport);
    return c;
}
