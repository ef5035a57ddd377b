// The control that records a custom shortcut. It shows the current shortcut
// as a button; a click starts recording and the next acceptable combination
// becomes the value; the small button at the right end clears the value, or
// cancels recording. The value reaches the user defaults through the
// "shortcutValue" binding. Only one recorder records at a time.
#pragma once

#include "KSShortcut.h"
#include "KSShortcutValidator.h"

#include <appkit/NSButton.h>
#include <appkit/NSTrackingArea.h>
#include <appkit/NSView.h>
#include <foundation/Token.h>

#include <functional>
#include <string>

class NSValueTransformer;

enum KSShortcutViewStyle : long {
    KSShortcutViewStyleDefault = 0,
    KSShortcutViewStyleTexturedRect = 1,
    KSShortcutViewStyleRounded = 2,
    KSShortcutViewStyleFlat = 3,
};

inline const std::string KSShortcutValueBinding = "shortcutValue";

class KSShortcutView : public NSView {
public:
    explicit KSShortcutView(CGRect frame = CGRectZero);
    ~KSShortcutView() override;

    const Ref<NSButtonCell>& shortcutCell() const { return m_shortcutCell; }

    const Ref<KSShortcut>& shortcutValue() const { return m_shortcutValue; }
    void setShortcutValue(const Ref<KSShortcut>& value);
    const Ref<KSShortcutValidator>& shortcutValidator() const { return m_shortcutValidator; }
    void setShortcutValidator(const Ref<KSShortcutValidator>& validator) { m_shortcutValidator = validator; }
    // Called with the view after every change of the value.
    void setShortcutValueChange(std::function<void(KSShortcutView&)> block) { m_shortcutValueChange = std::move(block); }

    bool isRecording() const { return m_recording; }
    void setRecording(bool flag);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool flag);
    bool isHinting() const { return m_hinting; }
    void setHinting(bool flag);
    bool showsDeleteButton() const { return m_showsDeleteButton; }
    void setShowsDeleteButton(bool flag);
    KSShortcutViewStyle style() const { return m_style; }
    void setStyle(KSShortcutViewStyle style);
    const std::string& shortcutPlaceholder() const { return m_shortcutPlaceholder; }
    void setShortcutPlaceholder(const std::string& placeholder);

    // The view recording now, if any.
    static Ref<KSShortcutView> recordingView();

    // The defaults key the value is bound to; empty when unbound.
    std::string associatedUserDefaultsKey() const;
    void setAssociatedUserDefaultsKey(const std::string& key, const Ref<NSValueTransformer>& transformer);
    void setAssociatedUserDefaultsKeyWithTransformerName(const std::string& key, const std::string& transformerName);
    // Bound through the keyed-archive transformer: the defaults hold archives.
    void setAssociatedUserDefaultsKey(const std::string& key);

    // The title the button shows now.
    std::string currentTitle() const;
    // Split of the bounds: the hint (clear) button at the right end and the
    // shortcut area. Without a delete button there is no hint area outside
    // recording: the whole view is the shortcut area.
    void getShortcutRect(CGRect* shortcutRect, CGRect* hintRect) const;
    CGFloat hintButtonWidth() const;
    bool locationInShortcutRect(CGPoint windowPoint) const;
    bool locationInHintRect(CGPoint windowPoint) const;
    // The tool tip at a point in the view; empty where there is none.
    std::string toolTipAtPoint(CGPoint point) const;

    std::string accessibilityRole() const { return "AXButton"; }
    std::string accessibilityLabel() const;
    std::string accessibilityHelp() const;
    bool accessibilityPerformPress();

    bool acceptsFirstResponder() const override { return m_acceptsFirstResponder; }
    void setAcceptsFirstResponder(bool flag) { m_acceptsFirstResponder = flag; }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    bool isFlipped() const override { return true; }
    CGSize intrinsicContentSize() const override;
    void drawRect(CGRect dirtyRect) override;
    void mouseDown(const Ref<NSEvent>& event) override;
    void mouseEntered(const Ref<NSEvent>& event) override;
    void mouseExited(const Ref<NSEvent>& event) override;
    void updateTrackingAreas() override;

    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

    // What the key monitor does with an event while this view records:
    // the event to pass on, or null when it is swallowed.
    Ref<NSEvent> handleRecordingEvent(const Ref<NSEvent>& event);

private:
    void resetShortcutCellStyle();
    void resetToolTips();
    void drawInRect(CGRect frame, const std::string& title, NSTextAlignment alignment, NSControlStateValue state);
    void drawHintGlyph(const std::string& glyph);
    void propagateValueForBinding(const Value& value, const std::string& binding);
    static void activateEventMonitoring(bool flag);
    void activateResignObserver(bool flag);

    Ref<NSButtonCell> m_shortcutCell;
    Ref<NSTrackingArea> m_hintArea;
    long m_shortcutToolTipTag { 0 };
    long m_hintToolTipTag { 0 };
    CGRect m_shortcutToolTipRect { CGRectZero };
    CGRect m_hintToolTipRect { CGRectZero };
    bool m_acceptsFirstResponder { false };
    bool m_recording { false };
    bool m_enabled { true };
    bool m_hinting { false };
    bool m_showsDeleteButton { true };
    Ref<KSShortcut> m_shortcutValue;
    Ref<KSShortcutValidator> m_shortcutValidator;
    std::function<void(KSShortcutView&)> m_shortcutValueChange;
    KSShortcutViewStyle m_style { KSShortcutViewStyleDefault };
    std::string m_shortcutPlaceholder;
};
