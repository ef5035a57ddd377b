#include "SwitchWindowController.h"

#include "SwitcherLayoutRegistry.h"

#include <appkit/NSAnimationContext.h>
#include <appkit/NSApplication.h>
#include <appkit/NSKeyPathObserver.h>
#include <appkit/NSNib.h>
#include <appkit/NSWorkspace.h>
#include <foundation/Dispatch.h>
#include <foundation/Log.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/NSUserDefaults.h>
#include <graphics/NSColor.h>
#include <graphics/ImageIO.h>
#include <graphics/NSImage.h>
#include <model/DefaultsKeys.h>
#include <model/EBEventful.h>
#include <services/CarbonEvents.h>
#include <toolkit/NSImageStackBlur.h>
#include <toolkit/NSWindowUtilities.h>

#include <algorithm>
#include <filesystem>

namespace {

// The panel window's size as the interface file gives it; every showing
// sizes it to its layout.
constexpr CGRect kInterfaceFileFrame = { { 0, 0 }, { 600, 300 } };

const std::string kOrderOutSelector = "orderOut:";

// The modifiers (Carbon bits) whose release ends a switch.
constexpr uint32_t kSwitchModifiers = cmdKey | shiftKey | optionKey | controlKey;

Ref<NSUserDefaults> defaults() { return NSUserDefaults::standardUserDefaults(); }

// The blurred desktop picture and what it was made from, kept for every
// panel of the process (on the main thread): it is decoded, at the screen's
// size, and blurred again only when the file or the screen's size changes.
struct Background {
    std::string path;
    int64_t modified { 0 };
    uintmax_t bytes { 0 };
    CGSize size {};
    Ref<NSImage> blurred;
    // The last picture file (path, time and size) that could not be read,
    // so that it is named in the log once, not at every showing.
    std::string refused;
};

Background& keptBackground()
{
    static Background background;
    return background;
}

}

void SwitchWindowController::buildInterfaceFile(NSObject& owner)
{
    auto& controller = dynamic_cast<SwitchWindowController&>(owner);
    auto window = makeRef<BaseWindow>(
        kInterfaceFileFrame, NSWindowStyleMaskTitled | NSWindowStyleMaskFullSizeContentView);
    window->setIdentifier("SwitcherWindowIdentifier");
    controller.setWindow(window);
}

static NSNibRegistration switchWindowControllerNib(
    "SwitchWindowController", SwitchWindowController::buildInterfaceFile);

SwitchWindowController::SwitchWindowController()
    : NSWindowController("SwitchWindowController")
{
}

Ref<SwitchWindowController> SwitchWindowController::create()
{
    Ref<SwitchWindowController> controller(new SwitchWindowController());
    controller->init();
    return controller;
}

void SwitchWindowController::init()
{
    if (auto window = this->window()) {
        window->setLevel(NSFloatingWindowLevel);
        window->setTitleVisibility(NSWindowTitleVisibility::Hidden);
        // Only the titled flag goes: the window shows no title bar but keeps
        // the rest of its style.
        window->setStyleMask(window->styleMask() & ~NSWindowStyleMaskTitled);
    }
    createVisualEffect();
    createKeysArray();
    setWindowParams();
    m_layoutType = SwitcherLayoutNone;
    loadLayout();
    monitorEvents();

    auto& bus = EBEventful::sharedInstance();
    auto self = selfRef<SwitchWindowController>();
    Weak<SwitchWindowController> weak = self;
    bus.receiveEvent(QuitAppKeyEvent, self, [weak](const EBEvent&) {
        if (auto controller = weak.lock()) controller->performQuit();
    });
    bus.receiveEvent(HideAppKeyEvent, self, [weak](const EBEvent&) {
        if (auto controller = weak.lock()) controller->performHide();
    });
    // The model may announce a new list from any thread; the list is
    // re-arranged on the main thread, without waiting for it.
    bus.receiveEvent(WindowListChangedEvent, self, [weak](const EBEvent&) {
        dispatch_async(dispatch_get_main_queue(), [weak] {
            if (auto controller = weak.lock()) controller->update1();
        });
    });
}

SwitchWindowController::~SwitchWindowController()
{
    EBEventful::sharedInstance().stopReceivingEventsForObject(this);
    if (m_currentViewController && m_currentViewController->isViewLoaded())
        m_currentViewController->view()->removeFromSuperview();
}

void SwitchWindowController::windowDidLoad()
{
    NSWindowController::windowDidLoad();
    auto& center = NSNotificationCenter::defaultCenter();
    const NSObject* window = this->window().get();
    m_resignKeyObservation = center.addObserverForName(NSWindowDidResignKeyNotification, window, nullptr,
        [this](const NSNotification&) { closeWindowOnLostFocus(); });
    m_resignMainObservation = center.addObserverForName(NSWindowDidResignMainNotification, window, nullptr,
        [this](const NSNotification&) { closeWindowOnLostFocus(); });
}

// MARK: The hotkey

void SwitchWindowController::handleHotkeyWithWindowListWithArrayController(
    const Ref<NSArrayController>& arrayController, bool hotkeyHasModifiers)
{
    auto window = this->window();
    if (!window) return;
    if (window->isVisible()) {
        setSelfSize();
        if (auto layout = currentLayout()) layout->selectNext();
        return;
    }

    if (arrayController != m_arrayController) {
        m_arrayController = arrayController;
        // Only the current array controller may resize the panel.
        m_arrayControllerObservation.reset();
        if (arrayController) {
            const NSObject* observed = arrayController.get();
            m_arrayControllerObservation = NSObserveKeyPath(*arrayController, "arrangedObjects.@count",
                NSKeyValueObservingOptionNew | NSKeyValueObservingOptionOld,
                [this, observed](const KVOChange& change) { observeValueForKeyPath(change.key, observed); });
            arrayController->setSortDescriptors(
                { NSSortDescriptor::sortDescriptorWithKey("sortOrder", true) });
        }
    }
    loadLayout();
    if (auto layout = currentLayout()) layout->setArrayController(m_arrayController);
    auto frontmost = NSWorkspace::sharedWorkspace().frontmostApplication();
    m_previousFrontmost = frontmost && frontmost->processIdentifier() != NSRunningApplication::currentApplication()->processIdentifier()
        ? frontmost
        : nullptr;
    NSApp().activateIgnoringOtherApps(true);
    window->makeFirstResponder(window->contentView());
    setupWindowAppearance();
    setWindowParams();
    setSelfSize();
    _showWindow();
    if (auto layout = currentLayout()) layout->selectSecond();

    // The modifier may have gone up before the panel became key, and its
    // release then went elsewhere: the panel would wait for a release that
    // never comes. The keyboard's live state tells.
    if (hotkeyHasModifiers && !(GetCurrentKeyModifiers() & kSwitchModifiers)) switchAndHide();
}

void SwitchWindowController::observeValueForKeyPath(const std::string&, const NSObject* object)
{
    auto window = this->window();
    if (object && object == m_arrayController.get() && window && window->isVisible()) setSelfSize();
}

void SwitchWindowController::update1()
{
    if (m_arrayController) m_arrayController->rearrangeObjects();
}

// MARK: Layouts

SwitchViewControllerProtocol* SwitchWindowController::currentLayout() const
{
    return switcherLayoutProtocol(m_currentViewController);
}

void SwitchWindowController::loadLayout()
{
    setLayoutType(static_cast<SwitcherLayout>(defaults()->integerForKey(DefaultsKey::LayoutType)));
}

void SwitchWindowController::setLayoutType(SwitcherLayout layoutType)
{
    if (layoutType == m_layoutType) return;
    if (layoutType < SwitcherLayoutGrid || layoutType > SwitcherLayoutCarousel) return;
    // A code whose layout is not part of the program keeps the old layout,
    // like an unknown code. The code is stored only with the layout it
    // names, so that the type always describes the layout shown: a stored
    // carousel code over the grid would make the grid full-screen.
    auto controller = SwitcherLayoutRegistry::makeLayout(layoutType);
    if (!controller) return;
    m_layoutType = layoutType;
    setCurrentViewController(controller);
}

void SwitchWindowController::setCurrentViewController(const Ref<NSViewController>& controller)
{
    if (controller == m_currentViewController) return;
    if (m_currentViewController && m_currentViewController->isViewLoaded())
        m_currentViewController->view()->removeFromSuperview();
    m_currentViewController = controller;
    if (!controller) return;
    auto window = this->window();
    auto content = window ? window->contentView() : nullptr;
    auto view = controller->view();
    if (!content || !view) return;
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    content->addSubview(view);
    NSLayoutConstraint::activateConstraints({
        view->leadingAnchor().constraintEqualToAnchor(content->leadingAnchor()),
        view->trailingAnchor().constraintEqualToAnchor(content->trailingAnchor()),
        view->topAnchor().constraintEqualToAnchor(content->topAnchor(), kLayoutTopInset),
        view->bottomAnchor().constraintEqualToAnchor(content->bottomAnchor(), kLayoutTopInset),
    });
}

// MARK: Look

int SwitchWindowController::currentTheme() const
{
    return defaults()->integerForKey(DefaultsKey::ThemeIndex) < SwitcherThemeDark ? 1 : 0;
}

NSVisualEffectMaterial SwitchWindowController::material() const
{
    switch (defaults()->integerForKey(DefaultsKey::ThemeIndex)) {
    case SwitcherThemeLight:
        return NSVisualEffectMaterialLight;
    case SwitcherThemeDark:
        return NSVisualEffectMaterialDark;
    default:
        return NSVisualEffectMaterialUltraDark;
    }
}

bool SwitchWindowController::isFullScreen() const
{
    return m_layoutType == SwitcherLayoutCarousel || defaults()->boolForKey(DefaultsKey::FullScreenMode);
}

int32_t SwitchWindowController::listStyle() const
{
    return static_cast<int32_t>(defaults()->integerForKey("ListStyle"));
}

void SwitchWindowController::createVisualEffect()
{
    auto view = makeRef<NSVisualEffectView>();
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    view->setMaterial(material());
    view->setState(NSVisualEffectStateActive);
    view->setWantsLayer(true);
    view->layer()->setCornerRadius(kCornerRadius);
    view->layer()->setMasksToBounds(true);
    view->setBlendingMode(NSVisualEffectBlendingModeBehindWindow);
    setVisualEffectView(view);
    auto window = this->window();
    if (!window) return;
    auto content = window->contentView();
    content->addSubview(view);
    NSLayoutConstraint::activateConstraints({
        view->leadingAnchor().constraintEqualToAnchor(content->leadingAnchor()),
        view->trailingAnchor().constraintEqualToAnchor(content->trailingAnchor()),
        view->topAnchor().constraintEqualToAnchor(content->topAnchor()),
        view->bottomAnchor().constraintEqualToAnchor(content->bottomAnchor()),
    });
}

void SwitchWindowController::createKeysArray()
{
    m_numKeyStrArray = { "1", "2", "3", "4", "5", "6", "7", "8", "9", "0" };
}

void SwitchWindowController::setupWindowAppearance()
{
    if (auto window = this->window())
        window->setAppearance(
            currentTheme() == 1 ? NSAppearanceNameVibrantLight : NSAppearanceNameVibrantDark);
    if (m_visualEffectView) m_visualEffectView->setMaterial(material());
    setTooltips();
}

void SwitchWindowController::setWindowParams()
{
    auto window = this->window();
    if (window) window->setBackgroundColor(NSColor::clearColor());
    if (isFullScreen()) {
        if (window) {
            window->setLevel(kFullScreenLevel);
            window->setStyleMask(NSWindowStyleMaskBorderless);
        }
        if (m_visualEffectView) m_visualEffectView->setHidden(true);
        setBackgroundImage();
        setTooltips();
    } else {
        // Level and style mask stay as a full-screen showing left them.
        if (m_visualEffectView) m_visualEffectView->setHidden(false);
        setTooltips();
    }
}

void SwitchWindowController::setBackgroundImage()
{
    if (!isFullScreen()) return;
    auto window = this->window();
    // The picture of the screen the panel is about to fill, at that screen's
    // size: the panel may still be on another screen at this point.
    auto screen = getActualScreen();
    if (!window || !screen) return;
    auto path = NSWorkspace::sharedWorkspace().desktopImageURLForScreen(screen);
    if (!path) return;
    std::error_code error;
    auto modified = std::filesystem::last_write_time(*path, error).time_since_epoch().count();
    auto bytes = error ? 0 : std::filesystem::file_size(*path, error);
    if (error) return;
    CGSize size = screen->frame().size;
    auto& kept = keptBackground();
    if (!kept.blurred || kept.path != *path || kept.modified != modified || kept.bytes != bytes
        || !CGSizeEqualToSize(kept.size, size)) {
        // A picture larger than the screen is shrunk while it is decoded:
        // the blur draws it at the screen's size anyway.
        auto decoded = CGImageSourceCreateThumbnailAtIndex(
            CGImageSourceCreateWithURL(*path), 0, size_t(std::max(1.0, size.width)), size_t(std::max(1.0, size.height)));
        auto image = NSImage::imageWithCGImage(decoded, CGSizeZero);
        if (!image) {
            std::string version = *path + "|" + std::to_string(modified) + "|" + std::to_string(bytes);
            if (kept.refused != version)
                NSLog("The desktop picture %@ could not be read (a PNG picture of at most %d x %d pixels is read); "
                      "the full-screen panel shows none",
                    *path, 8192, 8192);
            kept.refused = version;
            return;
        }
        image->setSize(size);
        auto blurred = NSImageStackBlur::stackBlur(image, kBackgroundBlurRadius);
        if (!blurred) return;
        kept = { *path, int64_t(modified), bytes, size, blurred };
    }
    window->setBackgroundColor(NSColor::colorWithPatternImage(kept.blurred));
}

void SwitchWindowController::setSelfSize()
{
    auto window = this->window();
    if (!window) return;
    auto layout = currentLayout();
    if (isFullScreen()) {
        // The layouts measure the screen that holds the panel, so the panel
        // goes to the chosen screen first; it then fills that screen from
        // the screen's own origin.
        auto screen = getActualScreen();
        if (screen) window->setFrame(screen->frame(), false);
        CGSize size = layout ? layout->getContentSize() : CGSizeZero;
        CGPoint origin = screen ? screen->frame().origin : CGPointZero;
        window->setFrame({ origin, { std::max(0.0, size.width), std::max(0.0, size.height) } }, true);
        setTooltips();
        return;
    }
    CGSize size = layout ? layout->getContentSize() : CGSizeZero;
    // A layout that finds no screen can measure a negative height; the panel
    // then keeps only its margins.
    CGFloat width = std::max(0.0, size.width);
    CGFloat height = std::max(0.0, size.height);
    size_t count = m_arrayController ? m_arrayController->content().size() : 0;
    CGFloat extra = kExtraHeight;
    if (defaults()->boolForKey(DefaultsKey::ShotcutsHints)) extra = count < 2 ? kExtraHeight : kExtraHeightWithHints;
    // The layout's size with the room below it, centred on the main screen,
    // drawn once: a panel on screen resized and moved step by step would be
    // drawn (and read what lies beneath it) at every step. One that is up
    // at that size already is only centred where it is, not moved away and
    // back.
    CGSize panelSize = CGSizeMake(width, height + extra);
    bool visible = window->isVisible();
    if (!visible || !CGSizeEqualToSize(window->frame().size, panelSize))
        window->setFrame({ CGPointZero, panelSize }, false);
    window->center();
    if (visible) window->displayIfNeeded();
    setTooltips();
}

// MARK: Showing and hiding

void SwitchWindowController::_showWindow()
{
    auto window = this->window();
    if (!window) return;
    window->makeKeyAndOrderFront(NSApp().selfRef<NSObject>());
    NSAnimationContext::runAnimationGroup([this, &window](NSAnimationContext& context) {
        context.setDuration(showDelay());
        window->animator().setAlphaValue(1.0);
    });
}

void SwitchWindowController::_hideWindow()
{
    auto window = this->window();
    if (!window) return;
    NSAnimationContext::runAnimationGroup([this, &window](NSAnimationContext& context) {
        context.setDuration(showDelay());
        window->animator().setAlphaValue(0.0);
    });
    Weak<NSWindow> weakWindow = window;
    Weak<NSObject> weakSelf = selfRef<NSObject>();
    window->performAfterDelay(kOrderOutSelector, showDelay(), [weakWindow, weakSelf] {
        if (auto window = weakWindow.lock()) window->orderOut(weakSelf.lock());
    });
}

void SwitchWindowController::_hideWindowWhitOutAnimation()
{
    auto window = this->window();
    if (!window) return;
    window->animator().setAlphaValue(0.0);
    window->orderOut(nullptr);
}

void SwitchWindowController::closeWindowOnLostFocus()
{
    auto window = this->window();
    if (window && window->isVisible()) _hideWindow();
}

void SwitchWindowController::closeSwitcherWindow() { closeWindowOnLostFocus(); }
