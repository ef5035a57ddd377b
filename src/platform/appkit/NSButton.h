// Buttons: a title and an image in a bezel, with a state for toggles and
// check boxes. A press highlights the button; releasing the mouse inside it
// clicks (a toggle type flips its state first) and sends the action, and
// releasing outside cancels. performClick does the same without the mouse.
#pragma once

#include "NSControl.h"

enum NSButtonType : unsigned long {
    NSButtonTypeMomentaryLight = 0,
    NSButtonTypePushOnPushOff = 1,
    NSButtonTypeToggle = 2,
    NSButtonTypeSwitch = 3,
    NSButtonTypeRadio = 4,
    NSButtonTypeMomentaryChange = 5,
    NSButtonTypeOnOff = 6,
    NSButtonTypeMomentaryPushIn = 7,
};

enum NSBezelStyle : unsigned long {
    NSBezelStyleRounded = 1,
    NSBezelStyleRegularSquare = 2,
    NSBezelStyleShadowlessSquare = 6,
    NSBezelStyleTexturedSquare = 8,
    NSBezelStyleSmallSquare = 10,
    NSBezelStyleTexturedRounded = 11,
    NSBezelStyleRoundRect = 12,
    NSBezelStyleRecessed = 13,
    NSBezelStyleInline = 15,
};

enum NSCellImagePosition : unsigned long {
    NSNoImage = 0,
    NSImageOnly = 1,
    NSImageLeft = 2,
    NSImageRight = 3,
    NSImageBelow = 4,
    NSImageAbove = 5,
    NSImageOverlaps = 6,
    NSImageLeading = 7,
    NSImageTrailing = 8,
};

class NSButtonCell : public NSCell {
public:
    NSButtonCell();

    NSButtonType buttonType() const { return m_buttonType; }
    void setButtonType(NSButtonType type) { m_buttonType = type; }
    NSBezelStyle bezelStyle() const { return m_bezelStyle; }
    void setBezelStyle(NSBezelStyle style) { m_bezelStyle = style; }
    bool isBordered() const { return m_bordered; }
    void setBordered(bool flag) { m_bordered = flag; }
    NSCellImagePosition imagePosition() const { return m_imagePosition; }
    void setImagePosition(NSCellImagePosition position) { m_imagePosition = position; }
    bool imageHugsTitle() const { return m_imageHugsTitle; }
    void setImageHugsTitle(bool flag) { m_imageHugsTitle = flag; }
    const Ref<NSAttributedString>& attributedTitle() const { return m_attributedTitle; }
    void setAttributedTitle(const Ref<NSAttributedString>& title) { m_attributedTitle = title; }
    // Whether clicking flips the state (the toggle, switch and radio types).
    bool togglesState() const;

    CGSize cellSize() const override;
    void drawWithFrame(CGRect frame, NSView* view) override;
    void drawInteriorWithFrame(CGRect frame, NSView* view) override;

private:
    Ref<NSAttributedString> titleText() const;
    // The tick of a check box that is on, the dot of a radio button.
    void drawOnMark(const CGContextRef& cg, CGRect box, bool flipped) const;
    NSButtonType m_buttonType { NSButtonTypeMomentaryPushIn };
    NSBezelStyle m_bezelStyle { NSBezelStyleRounded };
    NSCellImagePosition m_imagePosition { NSNoImage };
    Ref<NSAttributedString> m_attributedTitle;
    bool m_bordered { true };
    bool m_imageHugsTitle { false };
};

class NSButton : public NSControl {
public:
    explicit NSButton(CGRect frame = CGRectZero);
    static Ref<NSButton> buttonWithTitle(const std::string& title, const Ref<NSObject>& target, const std::string& action);
    static Ref<NSButton> checkboxWithTitle(const std::string& title, const Ref<NSObject>& target, const std::string& action);

    NSButtonCell& buttonCell() const { return static_cast<NSButtonCell&>(*cell()); }

    const std::string& title() const { return buttonCell().title(); }
    virtual void setTitle(const std::string& title);
    Ref<NSAttributedString> attributedTitle() const;
    void setAttributedTitle(const Ref<NSAttributedString>& title);
    const Ref<NSImage>& image() const { return buttonCell().image(); }
    virtual void setImage(const Ref<NSImage>& image);
    NSCellImagePosition imagePosition() const { return buttonCell().imagePosition(); }
    virtual void setImagePosition(NSCellImagePosition position);
    bool imageHugsTitle() const { return buttonCell().imageHugsTitle(); }
    void setImageHugsTitle(bool flag) { buttonCell().setImageHugsTitle(flag); }
    NSControlStateValue state() const { return buttonCell().state(); }
    virtual void setState(NSControlStateValue state);
    void setButtonType(NSButtonType type);
    NSBezelStyle bezelStyle() const { return buttonCell().bezelStyle(); }
    void setBezelStyle(NSBezelStyle style);
    bool isBordered() const { return buttonCell().isBordered(); }
    void setBordered(bool flag);
    const std::string& keyEquivalent() const { return m_keyEquivalent; }
    void setKeyEquivalent(const std::string& key) { m_keyEquivalent = key; }

    // Clicks the button: flips a toggle's state and sends the action.
    void performClick(const Ref<NSObject>& sender);
    void mouseDown(const Ref<NSEvent>& event) override;
    void mouseDragged(const Ref<NSEvent>& event) override;
    void mouseUp(const Ref<NSEvent>& event) override;
    // A button's value is its state. A check box reads any value as the
    // settings read a yes-or-no value, and writes a yes-or-no value.
    void setObjectValue(const Value& value) override;
    bool isCheckbox() const;

    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

private:
    bool containsEvent(const Ref<NSEvent>& event) const;
    NSControlStateValue stateForValue(const Value& value) const;
    std::string m_keyEquivalent;
    bool m_tracking { false };
};
