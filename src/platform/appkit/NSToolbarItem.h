// One item of a window's toolbar: an identifier, a label and an image, and
// a target and action sent when the item is clicked.
#pragma once

#include <foundation/NSObject.h>

#include <string>

class NSImage;
class NSToolbar;

using NSToolbarItemIdentifier = std::string;
// Items the toolbar makes itself, without asking its delegate.
inline const NSToolbarItemIdentifier NSToolbarFlexibleSpaceItemIdentifier = "NSToolbarFlexibleSpaceItem";
inline const NSToolbarItemIdentifier NSToolbarSpaceItemIdentifier = "NSToolbarSpaceItem";
inline const NSToolbarItemIdentifier NSToolbarSeparatorItemIdentifier = "NSToolbarSeparatorItem";

class NSToolbarItem : public NSObject {
public:
    // initWithItemIdentifier:.
    explicit NSToolbarItem(NSToolbarItemIdentifier identifier);

    const NSToolbarItemIdentifier& itemIdentifier() const { return m_identifier; }
    // The toolbar the item is in, or null.
    NSToolbar* toolbar() const { return m_toolbar; }

    const std::string& label() const { return m_label; }
    void setLabel(const std::string& label) { m_label = label; }
    const std::string& paletteLabel() const { return m_paletteLabel; }
    void setPaletteLabel(const std::string& label) { m_paletteLabel = label; }
    const std::string& toolTip() const { return m_toolTip; }
    void setToolTip(const std::string& toolTip) { m_toolTip = toolTip; }
    const Ref<NSImage>& image() const { return m_image; }
    void setImage(const Ref<NSImage>& image) { m_image = image; }

    Ref<NSObject> target() const { return m_target.lock(); }
    void setTarget(const Ref<NSObject>& target) { m_target = target; }
    const std::string& action() const { return m_action; }
    void setAction(const std::string& action) { m_action = action; }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool flag) { m_enabled = flag; }

    // Enables an item with an action exactly when something answers it (its
    // target, or with none the responder chain); other items keep their state.
    virtual void validate();

    // What a person's click on the item does: a selectable item becomes the
    // toolbar's selected item, then the action goes to the target (or along
    // the responder chain) with the item as sender. A disabled item ignores
    // the click. False when the click did nothing.
    bool performClick();

    // Key-value coding ("itemIdentifier", "label").
    Value valueForKey(const std::string& key) const override;

private:
    friend class NSToolbar;
    NSToolbarItemIdentifier m_identifier;
    NSToolbar* m_toolbar { nullptr };
    std::string m_label;
    std::string m_paletteLabel;
    std::string m_toolTip;
    Ref<NSImage> m_image;
    Weak<NSObject> m_target;
    std::string m_action;
    bool m_enabled { true };
};
