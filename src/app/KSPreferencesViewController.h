// What every preference pane answers the preferences window. The panes are
// view controllers that also adopt this protocol. The optional answers are
// std::nullopt where a pane does not give them.
#pragma once

#include <foundation/Ref.h>

#include <optional>
#include <string>

class NSImage;
class NSView;

class KSPreferencesViewController {
public:
    virtual ~KSPreferencesViewController() = default;

    // The pane's identifier: its toolbar item's identifier and the name its
    // size is remembered under.
    virtual std::string viewIdentifier() const = 0;
    virtual std::string toolbarItemLabel() const = 0;

    // Optional. Without an image from any pane the toolbar shows labels only.
    virtual std::optional<Ref<NSImage>> toolbarItemImage() const { return std::nullopt; }
    // Optional. Without an answer the view's autoresizing mask decides.
    virtual std::optional<bool> hasResizableWidth() const { return std::nullopt; }
    virtual std::optional<bool> hasResizableHeight() const { return std::nullopt; }
    // Optional. The view that takes the keyboard when the pane is shown.
    virtual std::optional<Ref<NSView>> initialKeyView() const { return std::nullopt; }
};
