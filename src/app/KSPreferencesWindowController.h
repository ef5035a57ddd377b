// The preferences window: one toolbar item per pane; choosing an item shows
// that pane's view, resizing the window about its top edge. The last pane,
// the window's top-left corner and each pane's size are remembered in the
// user defaults.
#pragma once

#include "KSPreferencesViewController.h"

#include <appkit/NSToolbar.h>
#include <appkit/NSViewController.h>
#include <appkit/NSWindow.h>
#include <appkit/NSWindowController.h>
#include <foundation/Token.h>

#include <map>
#include <string>
#include <vector>

// User-defaults keys; "%@" is a pane's identifier.
inline const std::string KSPreferencesSelectedIdentifierKey = "KSPreferences Selected Identifier View";
inline const std::string KSPreferencesFrameTopLeftKey = "KSPreferences Frame Top Left";
inline const std::string KSPreferencesViewFrameKeyFormat = "KSPreferences %@ Frame";
// Posted with the controller as object after each change of pane.
inline const std::string KSPreferencesWindowControllerDidChangeViewNotification
    = "KSPreferencesWindowControllerDidChangeViewNotification";

class KSPreferencesWindowController : public NSWindowController, public NSToolbarDelegate, public NSWindowDelegate {
public:
    // initWithViewControllers:title:. A null entry stands for a flexible
    // space; every other entry must adopt KSPreferencesViewController (one
    // that does not is left out, with a log line). An empty title lets the
    // window take each pane's label. The window comes from the interface
    // file "KSPreferencesWindow" on the first window() request.
    explicit KSPreferencesWindowController(std::vector<Ref<NSViewController>> viewControllers, std::string title = {});
    ~KSPreferencesWindowController() override;

    // The user-defaults key of a pane's remembered size.
    static std::string viewFrameKey(const std::string& identifier);

    // The panes in toolbar order (null for a flexible space).
    const std::vector<Ref<NSViewController>>& viewControllers() const { return m_viewControllers; }
    // Pane identifier to NSStringFromRect of the pane view's bounds when it
    // was first shown: the smallest size it gets for the rest of the run.
    const std::map<std::string, std::string>& minimumViewRects() const { return m_minimumViewRects; }
    const std::string& title() const { return m_title; }
    const Ref<NSViewController>& selectedViewController() const { return m_selectedViewController; }
    // Shows the pane (see the .cpp); null drops the shown pane.
    void setSelectedViewController(const Ref<NSViewController>& controller);
    // Outlet, connected by the interface file.
    const Ref<NSToolbar>& toolbar() const { return m_toolbar; }
    void setToolbar(const Ref<NSToolbar>& toolbar) { m_toolbar = toolbar; }

    // One per entry: the pane's identifier, or the flexible space's.
    std::vector<NSToolbarItemIdentifier> toolbarItemIdentifiers() const;
    // Where the shown pane's identifier is in that list; NSNotFound when no
    // pane is shown.
    size_t indexOfSelectedController() const;

    // Appends a pane with its toolbar item.
    void addViewController(const Ref<NSViewController>& controller);
    Ref<NSViewController> viewControllerForIdentifier(const std::string& identifier) const;
    Ref<NSViewController> firstViewController() const;
    // Ignored past the end and on a flexible space.
    void selectControllerAtIndex(size_t index);
    void selectControllerWithIdentifier(const std::string& identifier);
    // The next or previous pane, wrapping round and skipping spaces (also
    // the actions "goNextTab:" and "goPreviousTab:").
    void goNextTab(const Ref<NSObject>& sender);
    void goPreviousTab(const Ref<NSObject>& sender);
    // The toolbar items' action: shows the pane of the clicking item.
    void toolbarItemDidClick(const Ref<NSObject>& sender);

    void windowDidLoad() override;
    // Closing asks the shown pane to commit its edits first.
    bool windowShouldClose(NSWindow& window) override;
    void windowDidMove();
    void windowDidResize();

    // NSToolbarDelegate.
    Ref<NSToolbarItem> toolbarItemForItemIdentifier(
        NSToolbar& toolbar, const NSToolbarItemIdentifier& identifier, bool willBeInsertedIntoToolbar) override;
    std::vector<NSToolbarItemIdentifier> toolbarAllowedItemIdentifiers(NSToolbar&) override;
    std::vector<NSToolbarItemIdentifier> toolbarDefaultItemIdentifiers(NSToolbar&) override;
    std::vector<NSToolbarItemIdentifier> toolbarSelectableItemIdentifiers(NSToolbar&) override;

private:
    static KSPreferencesViewController* paneOf(const Ref<NSViewController>& controller);
    void step(bool forward);

    std::vector<Ref<NSViewController>> m_viewControllers;
    std::map<std::string, std::string> m_minimumViewRects;
    std::string m_title;
    Ref<NSViewController> m_selectedViewController;
    Ref<NSToolbar> m_toolbar;
    Token m_moveObservation;
    Token m_resizeObservation;
};
