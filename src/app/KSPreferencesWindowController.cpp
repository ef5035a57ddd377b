#include "KSPreferencesWindowController.h"

#include <appkit/NSButton.h>
#include <appkit/NSIndexSet.h>
#include <appkit/NSNib.h>
#include <appkit/NSView.h>
#include <foundation/Format.h>
#include <foundation/Log.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/NSUserDefaults.h>

#include <algorithm>
#include <cfloat>

// The window's interface file: a titled, resizable window whose delegate is
// the controller, with a toolbar connected to the controller's outlet.
static NSNibRegistration preferencesWindowNib("KSPreferencesWindow", [](NSObject& owner) {
    auto& controller = dynamic_cast<KSPreferencesWindowController&>(owner);
    auto self = controller.selfRef<NSObject>();
    auto window = makeRef<NSWindow>(CGRectMake(196, 240, 480, 270),
        NSWindowStyleMaskTitled | NSWindowStyleMaskClosable | NSWindowStyleMaskMiniaturizable
            | NSWindowStyleMaskResizable);
    auto toolbar = makeRef<NSToolbar>("KSPreferencesToolbar");
    toolbar->setAllowsUserCustomization(false);
    toolbar->setDelegate(self);
    controller.setToolbar(toolbar);
    window->setDelegate(self);
    window->setToolbar(toolbar);
    controller.setWindow(window);
});

KSPreferencesWindowController::KSPreferencesWindowController(
    std::vector<Ref<NSViewController>> viewControllers, std::string title)
    : NSWindowController("KSPreferencesWindow")
    , m_title(std::move(title))
{
    for (auto& controller : viewControllers) {
        if (controller && !paneOf(controller)) {
            NSLog("KSPreferencesWindowController: %@ is no preference pane and is left out", controller->className());
            continue;
        }
        m_viewControllers.push_back(std::move(controller));
    }
    setActionHandler("toolbarItemDidClick:", [this](const Ref<NSObject>& sender) { toolbarItemDidClick(sender); });
    setActionHandler("goNextTab:", [this](const Ref<NSObject>& sender) { goNextTab(sender); });
    setActionHandler("goPreviousTab:", [this](const Ref<NSObject>& sender) { goPreviousTab(sender); });
}

KSPreferencesWindowController::~KSPreferencesWindowController()
{
    m_moveObservation = {};
    m_resizeObservation = {};
    if (isWindowLoaded())
        window()->setDelegate(nullptr);
    if (m_toolbar) {
        for (const auto& item : m_toolbar->items()) {
            item->setTarget(nullptr);
            item->setAction({});
        }
        m_toolbar->setDelegate(nullptr);
    }
}

std::string KSPreferencesWindowController::viewFrameKey(const std::string& identifier)
{
    return stringWithFormat(KSPreferencesViewFrameKeyFormat.c_str(), identifier);
}

KSPreferencesViewController* KSPreferencesWindowController::paneOf(const Ref<NSViewController>& controller)
{
    return dynamic_cast<KSPreferencesViewController*>(controller.get());
}

// MARK: Panes

std::vector<NSToolbarItemIdentifier> KSPreferencesWindowController::toolbarItemIdentifiers() const
{
    std::vector<NSToolbarItemIdentifier> identifiers;
    for (const auto& controller : m_viewControllers)
        identifiers.push_back(controller ? paneOf(controller)->viewIdentifier() : NSToolbarFlexibleSpaceItemIdentifier);
    return identifiers;
}

size_t KSPreferencesWindowController::indexOfSelectedController() const
{
    if (!m_selectedViewController)
        return NSNotFound;
    auto identifiers = toolbarItemIdentifiers();
    auto it = std::find(identifiers.begin(), identifiers.end(), paneOf(m_selectedViewController)->viewIdentifier());
    return it == identifiers.end() ? NSNotFound : static_cast<size_t>(it - identifiers.begin());
}

void KSPreferencesWindowController::addViewController(const Ref<NSViewController>& controller)
{
    if (controller && !paneOf(controller)) {
        NSLog("KSPreferencesWindowController: %@ is no preference pane and is left out", controller->className());
        return;
    }
    m_viewControllers.push_back(controller);
    if (!m_toolbar)
        return;
    auto identifier = controller ? paneOf(controller)->viewIdentifier() : NSToolbarFlexibleSpaceItemIdentifier;
    m_toolbar->insertItemWithItemIdentifier(identifier, m_toolbar->items().size());
    m_toolbar->validateVisibleItems();
}

Ref<NSViewController> KSPreferencesWindowController::viewControllerForIdentifier(const std::string& identifier) const
{
    for (const auto& controller : m_viewControllers)
        if (controller && paneOf(controller)->viewIdentifier() == identifier)
            return controller;
    return nullptr;
}

Ref<NSViewController> KSPreferencesWindowController::firstViewController() const
{
    for (const auto& controller : m_viewControllers)
        if (controller)
            return controller;
    return nullptr;
}

void KSPreferencesWindowController::selectControllerAtIndex(size_t index)
{
    if (index >= m_viewControllers.size() || !m_viewControllers[index])
        return;
    setSelectedViewController(m_viewControllers[index]);
}

void KSPreferencesWindowController::selectControllerWithIdentifier(const std::string& identifier)
{
    setSelectedViewController(viewControllerForIdentifier(identifier));
}

void KSPreferencesWindowController::step(bool forward)
{
    size_t count = m_viewControllers.size();
    if (count == 0)
        return;
    size_t index = indexOfSelectedController();
    // With no pane shown, the next pane is the first and the previous one
    // the last.
    if (index == NSNotFound)
        index = forward ? count - 1 : 0;
    for (size_t step = 1; step <= count; ++step) {
        size_t candidate = forward ? (index + step) % count : (index + count - step % count) % count;
        if (m_viewControllers[candidate]) {
            setSelectedViewController(m_viewControllers[candidate]);
            return;
        }
    }
}

void KSPreferencesWindowController::goNextTab(const Ref<NSObject>&) { step(true); }

void KSPreferencesWindowController::goPreviousTab(const Ref<NSObject>&) { step(false); }

void KSPreferencesWindowController::toolbarItemDidClick(const Ref<NSObject>& sender)
{
    if (auto item = std::dynamic_pointer_cast<NSToolbarItem>(sender))
        selectControllerWithIdentifier(item->itemIdentifier());
}

// Shows a pane. The window keeps its top-left corner and takes the pane's
// remembered size, never below the size the pane first showed at, and
// exactly that size in a dimension the pane cannot stretch.
void KSPreferencesWindowController::setSelectedViewController(const Ref<NSViewController>& controller)
{
    if (controller == m_selectedViewController)
        return;
    auto window = this->window();
    auto defaults = NSUserDefaults::standardUserDefaults();
    if (auto old = m_selectedViewController) {
        if (!old->commitEditing()) {
            if (m_toolbar)
                m_toolbar->setSelectedItemIdentifier(paneOf(old)->viewIdentifier());
            return;
        }
        if (window)
            window->setContentView(makeRef<NSView>());
        old->setNextResponder(nullptr);
        // The platform's view controllers hear viewDidDisappear as their view
        // leaves the window, so nothing is sent here.
        m_selectedViewController = nullptr;
    }
    if (!controller)
        return;
    auto* pane = paneOf(controller);
    if (!pane)
        return;
    std::string identifier = pane->viewIdentifier();
    if (window && m_title.empty())
        window->setTitle(pane->toolbarItemLabel());
    if (m_toolbar)
        m_toolbar->setSelectedItemIdentifier(identifier);
    defaults->setObject(Value(identifier), KSPreferencesSelectedIdentifierKey);

    auto view = controller->view();
    auto saved = defaults->stringForKey(viewFrameKey(identifier));
    if (!m_minimumViewRects.count(identifier))
        m_minimumViewRects[identifier] = NSStringFromRect(view->bounds());
    bool widthSizable = pane->hasResizableWidth().value_or((view->autoresizingMask() & NSViewWidthSizable) != 0);
    bool heightSizable = pane->hasResizableHeight().value_or((view->autoresizingMask() & NSViewHeightSizable) != 0);

    CGRect viewRect = saved ? NSRectFromString(*saved) : view->bounds();
    auto minimum = m_minimumViewRects.find(identifier);
    CGRect minimumRect = minimum != m_minimumViewRects.end() ? NSRectFromString(minimum->second) : view->bounds();
    if (!widthSizable || viewRect.size.width < minimumRect.size.width)
        viewRect.size.width = minimumRect.size.width;
    if (!heightSizable || viewRect.size.height < minimumRect.size.height)
        viewRect.size.height = minimumRect.size.height;
    view->setFrame(viewRect);

    if (window) {
        CGRect old = window->frame();
        CGRect frame = window->frameRectForContentRect(viewRect);
        frame.origin.x = old.origin.x;
        frame.origin.y = CGRectGetMaxY(old) - frame.size.height;
        window->setContentMinSize(minimumRect.size);
        window->setContentMaxSize(CGSizeMake(widthSizable ? DBL_MAX : viewRect.size.width,
            heightSizable ? DBL_MAX : viewRect.size.height));
        window->setShowsResizeIndicator(widthSizable || heightSizable);
        if (auto zoom = window->standardWindowButton(NSWindowZoomButton))
            zoom->setEnabled(widthSizable || heightSizable);
        window->setFrame(frame, true, window->isVisible());
    }

    m_selectedViewController = controller;
    // viewWillAppear comes from the platform as the view enters the window.
    if (window) {
        window->setContentView(view);
        window->recalculateKeyViewLoop();
        if (window->firstResponder() == window) {
            if (auto initial = pane->initialKeyView())
                window->makeFirstResponder(*initial);
            else
                window->selectKeyViewFollowingView(view);
        }
    }
    if (auto former = view->nextResponder(); former != controller) {
        view->setNextResponder(controller);
        controller->setNextResponder(former);
    }
    NSNotificationCenter::defaultCenter().postNotificationName(
        KSPreferencesWindowControllerDidChangeViewNotification, selfRef<NSObject>());
}

// MARK: Window

void KSPreferencesWindowController::windowDidLoad()
{
    NSWindowController::windowDidLoad();
    auto window = this->window();
    bool anyImage = std::any_of(m_viewControllers.begin(), m_viewControllers.end(),
        [](const Ref<NSViewController>& c) { return c && paneOf(c)->toolbarItemImage().has_value(); });
    if (!anyImage && m_toolbar)
        m_toolbar->setDisplayMode(NSToolbarDisplayMode::LabelOnly);
    if (!m_title.empty())
        window->setTitle(m_title);

    auto defaults = NSUserDefaults::standardUserDefaults();
    if (!m_viewControllers.empty()) {
        Ref<NSViewController> remembered;
        if (auto identifier = defaults->stringForKey(KSPreferencesSelectedIdentifierKey))
            remembered = viewControllerForIdentifier(*identifier);
        setSelectedViewController(remembered ? remembered : firstViewController());
    }
    if (auto topLeft = defaults->stringForKey(KSPreferencesFrameTopLeftKey)) {
        window->layoutIfNeeded();
        window->setFrameTopLeftPoint(NSPointFromString(*topLeft));
    }

    Weak<KSPreferencesWindowController> weak = selfRef<KSPreferencesWindowController>();
    auto& center = NSNotificationCenter::defaultCenter();
    m_moveObservation = center.addObserverForName(NSWindowDidMoveNotification, window.get(), nullptr,
        [weak](const NSNotification&) {
            if (auto self = weak.lock())
                self->windowDidMove();
        });
    m_resizeObservation = center.addObserverForName(NSWindowDidResizeNotification, window.get(), nullptr,
        [weak](const NSNotification&) {
            if (auto self = weak.lock())
                self->windowDidResize();
        });
}

bool KSPreferencesWindowController::windowShouldClose(NSWindow&)
{
    return !m_selectedViewController || m_selectedViewController->commitEditing();
}

void KSPreferencesWindowController::windowDidMove()
{
    if (!isWindowLoaded())
        return;
    CGRect frame = window()->frame();
    NSUserDefaults::standardUserDefaults()->setObject(
        Value(NSStringFromPoint(CGPointMake(CGRectGetMinX(frame), CGRectGetMaxY(frame)))), KSPreferencesFrameTopLeftKey);
}

void KSPreferencesWindowController::windowDidResize()
{
    if (!m_selectedViewController)
        return;
    NSUserDefaults::standardUserDefaults()->setObject(Value(NSStringFromRect(m_selectedViewController->view()->bounds())),
        viewFrameKey(paneOf(m_selectedViewController)->viewIdentifier()));
}

// MARK: Toolbar

Ref<NSToolbarItem> KSPreferencesWindowController::toolbarItemForItemIdentifier(
    NSToolbar&, const NSToolbarItemIdentifier& identifier, bool)
{
    auto item = makeRef<NSToolbarItem>(identifier);
    auto controller = viewControllerForIdentifier(identifier);
    if (!controller)
        return item;
    auto* pane = paneOf(controller);
    if (auto image = pane->toolbarItemImage())
        item->setImage(*image);
    item->setLabel(pane->toolbarItemLabel());
    item->setTarget(selfRef<NSObject>());
    item->setAction("toolbarItemDidClick:");
    return item;
}

std::vector<NSToolbarItemIdentifier> KSPreferencesWindowController::toolbarAllowedItemIdentifiers(NSToolbar&)
{
    return toolbarItemIdentifiers();
}

std::vector<NSToolbarItemIdentifier> KSPreferencesWindowController::toolbarDefaultItemIdentifiers(NSToolbar&)
{
    return toolbarItemIdentifiers();
}

std::vector<NSToolbarItemIdentifier> KSPreferencesWindowController::toolbarSelectableItemIdentifiers(NSToolbar&)
{
    return toolbarItemIdentifiers();
}
