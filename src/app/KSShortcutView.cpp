#include "KSShortcutView.h"

#include "KSShortcutMonitor.h"

#include <appkit/NSAlert.h>
#include <appkit/NSBeep.h>
#include <appkit/NSEvent.h>
#include <appkit/NSKeyValueBinding.h>
#include <appkit/NSUserDefaultsController.h>
#include <appkit/NSValueTransformer.h>
#include <appkit/NSWindow.h>
#include <foundation/Log.h>
#include <foundation/NSNotificationCenter.h>
#include <graphics/NSFont.h>

inline const std::string NSAccessibilityAnnouncementRequestedNotification = "AXAnnouncementRequested";

namespace {

constexpr CGFloat kIntrinsicWidth = 120;
constexpr CGFloat kCellFontSize = 11;
constexpr CGFloat kHintGlyphFontSize = 14;
// Announcement priority of the platform's "high" level.
constexpr long kAnnouncementPriority = 90;
const std::string kValuesPrefix = "values.";
const char* const kPropagateMethodName = "-[KSShortcutView propagateValue:forBinding:]";

constexpr uint16_t kVKTab = 48, kVKDelete = 51, kVKForwardDelete = 117, kVKEscape = 53, kVKW = 13, kVKQ = 12;

// What every recorder shares: one records at a time, through one key
// monitor and one observer of its window losing the keyboard.
struct Shared {
    Ref<KSShortcutView> recordingView;
    bool monitoring { false };
    Token monitor;
    bool resignObserving { false };
    Token resignObserver;
    long nextToolTipTag { 1 };
};

Shared& shared()
{
    static Shared* state = new Shared;
    return *state;
}

std::string text(const std::string& key, const std::string& comment) { return ShortcutKitLocalizedString(key, comment); }

}

KSShortcutView::KSShortcutView(CGRect frame)
    : NSView(frame)
{
    m_shortcutCell = makeRef<NSButtonCell>();
    m_shortcutCell->setButtonType(NSButtonTypePushOnPushOff);
    auto font = m_shortcutCell->font();
    m_shortcutCell->setFont(NSFont::fontWithName(font ? font->fontName() : std::string(), kCellFontSize));
    m_shortcutValidator = KSShortcutValidator::sharedValidator();
    resetShortcutCellStyle();
}

KSShortcutView::~KSShortcutView()
{
    // The shared monitor and observer belong to the view that records, which
    // is kept alive while it does; a view going away that does not record
    // leaves them alone.
}

Ref<KSShortcutView> KSShortcutView::recordingView() { return shared().recordingView; }

// MARK: Properties

void KSShortcutView::setEnabled(bool flag)
{
    if (m_enabled == flag)
        return;
    m_enabled = flag;
    updateTrackingAreas();
    setRecording(false);
    resetToolTips();
    invalidateIntrinsicContentSize();
    setNeedsDisplay(true);
}

void KSShortcutView::setStyle(KSShortcutViewStyle style)
{
    if (m_style == style)
        return;
    m_style = style;
    resetShortcutCellStyle();
    invalidateIntrinsicContentSize();
    setNeedsDisplay(true);
}

void KSShortcutView::setShowsDeleteButton(bool flag)
{
    if (m_showsDeleteButton == flag)
        return;
    m_showsDeleteButton = flag;
    updateTrackingAreas();
    resetToolTips();
    setNeedsDisplay(true);
}

void KSShortcutView::resetShortcutCellStyle()
{
    switch (m_style) {
    case KSShortcutViewStyleDefault:
        m_shortcutCell->setBordered(true);
        m_shortcutCell->setBezelStyle(NSBezelStyleRoundRect);
        break;
    case KSShortcutViewStyleTexturedRect:
        m_shortcutCell->setBordered(true);
        m_shortcutCell->setBezelStyle(NSBezelStyleTexturedRounded);
        break;
    case KSShortcutViewStyleRounded:
        m_shortcutCell->setBordered(true);
        m_shortcutCell->setBezelStyle(NSBezelStyleRounded);
        break;
    case KSShortcutViewStyleFlat:
        setWantsLayer(true);
        m_shortcutCell->setBordered(false);
        break;
    }
}

CGFloat KSShortcutView::hintButtonWidth() const
{
    switch (m_style) {
    case KSShortcutViewStyleTexturedRect:
        return 25;
    case KSShortcutViewStyleRounded:
        return 26;
    case KSShortcutViewStyleFlat: {
        CGFloat size = m_shortcutCell->font() ? m_shortcutCell->font()->pointSize() : kCellFontSize;
        return size - kCellFontSize - 8 + 23;
    }
    default:
        return 23;
    }
}

void KSShortcutView::setShortcutValue(const Ref<KSShortcut>& value)
{
    m_shortcutValue = value;
    resetToolTips();
    invalidateIntrinsicContentSize();
    setNeedsDisplay(true);
    propagateValueForBinding(value ? Value(std::static_pointer_cast<NSObject>(value)) : Value(), KSShortcutValueBinding);
    if (m_shortcutValueChange)
        m_shortcutValueChange(*this);
}

void KSShortcutView::setShortcutPlaceholder(const std::string& placeholder)
{
    m_shortcutPlaceholder = placeholder;
    invalidateIntrinsicContentSize();
    setNeedsDisplay(true);
}

void KSShortcutView::setHinting(bool flag)
{
    if (m_hinting == flag)
        return;
    m_hinting = flag;
    invalidateIntrinsicContentSize();
    setNeedsDisplay(true);
}

void KSShortcutView::mouseEntered(const Ref<NSEvent>&) { setHinting(true); }

void KSShortcutView::mouseExited(const Ref<NSEvent>&) { setHinting(false); }

CGSize KSShortcutView::intrinsicContentSize() const
{
    return CGSizeMake(kIntrinsicWidth, m_shortcutCell->cellSize().height);
}

bool KSShortcutView::becomeFirstResponder()
{
    invalidateIntrinsicContentSize();
    setNeedsDisplay(true);
    return NSView::becomeFirstResponder();
}

bool KSShortcutView::resignFirstResponder()
{
    invalidateIntrinsicContentSize();
    setNeedsDisplay(true);
    return NSView::resignFirstResponder();
}

// MARK: Binding

std::string KSShortcutView::associatedUserDefaultsKey() const
{
    Value info = infoForBinding(KSShortcutValueBinding);
    if (info.isNil())
        return {};
    std::string keyPath = info[NSObservedKeyPathKey].stringValue();
    return keyPath.rfind(kValuesPrefix, 0) == 0 ? keyPath.substr(kValuesPrefix.size()) : keyPath;
}

void KSShortcutView::setAssociatedUserDefaultsKey(const std::string& key, const Ref<NSValueTransformer>& transformer)
{
    if (isBound(KSShortcutValueBinding))
        unbind(KSShortcutValueBinding);
    if (key.empty())
        return;
    Value options;
    if (transformer)
        options = Value(Value::Dictionary { { NSValueTransformerBindingOption, Value(std::static_pointer_cast<NSObject>(transformer)) } });
    bind(KSShortcutValueBinding, NSUserDefaultsController::sharedUserDefaultsController(), kValuesPrefix + key, options);
}

void KSShortcutView::setAssociatedUserDefaultsKeyWithTransformerName(const std::string& key, const std::string& name)
{
    setAssociatedUserDefaultsKey(key, NSValueTransformer::valueTransformerForName(name));
}

void KSShortcutView::setAssociatedUserDefaultsKey(const std::string& key)
{
    setAssociatedUserDefaultsKeyWithTransformerName(key, NSKeyedUnarchiveFromDataTransformerName);
}

void KSShortcutView::propagateValueForBinding(const Value& value, const std::string& binding)
{
    Value info = infoForBinding(binding);
    if (info.isNil())
        return;
    Value options = info[NSOptionsKey];
    Value written = value;
    if (auto transformer = NSKeyValueBindingCreation::transformerFromOptions(options)) {
        if (transformer->allowsReverseTransformation())
            written = transformer->reverseTransformedValue(value);
        else
            NSLog("WARNING: binding \"%@\" has value transformer, but it doesn't allow reverse transformations in %s",
                binding, kPropagateMethodName);
    }
    auto observed = info[NSObservedObjectKey].objectAs<NSObject>();
    if (!observed) {
        NSLog("ERROR: NSObservedObjectKey was nil for binding \"%@\" in %s", binding, kPropagateMethodName);
        return;
    }
    Value keyPath = info[NSObservedKeyPathKey];
    if (!keyPath.isString()) {
        NSLog("ERROR: NSObservedKeyPathKey was nil for binding \"%@\" in %s", binding, kPropagateMethodName);
        return;
    }
    observed->setValueForKeyPath(written, keyPath.stringValue());
}

Value KSShortcutView::valueForKey(const std::string& key) const
{
    if (key == KSShortcutValueBinding)
        return m_shortcutValue ? Value(std::static_pointer_cast<NSObject>(m_shortcutValue)) : Value();
    return NSView::valueForKey(key);
}

void KSShortcutView::setValueForKey(const Value& value, const std::string& key)
{
    if (key != KSShortcutValueBinding) {
        NSView::setValueForKey(value, key);
        return;
    }
    // A value of another kind (a damaged default) shows as no shortcut.
    auto shortcut = value.objectAs<KSShortcut>();
    if (!value.isNil() && !shortcut)
        NSLog("KSShortcutView: the value bound to %@ is no shortcut and is shown as none", associatedUserDefaultsKey());
    if (shortcut == m_shortcutValue || (shortcut && m_shortcutValue && shortcut->isEqual(m_shortcutValue.get())))
        return;
    setShortcutValue(shortcut);
}

// MARK: Geometry and drawing

void KSShortcutView::getShortcutRect(CGRect* shortcutRect, CGRect* hintRect) const
{
    CGRect bounds = this->bounds();
    CGRect hint = CGRectZero;
    // The clear button is there while recording (as cancel) and, with a
    // value, only when it is shown.
    bool hasHint = m_recording || m_showsDeleteButton || !m_shortcutValue;
    if (hasHint) {
        CGFloat width = std::min(hintButtonWidth(), bounds.size.width);
        hint = CGRectMake(CGRectGetMaxX(bounds) - width, bounds.origin.y, width, bounds.size.height);
    }
    CGRect shortcut = bounds;
    shortcut.size.width -= hint.size.width;
    if (shortcutRect)
        *shortcutRect = shortcut;
    if (hintRect)
        *hintRect = hint;
}

bool KSShortcutView::locationInShortcutRect(CGPoint windowPoint) const
{
    CGRect shortcut;
    getShortcutRect(&shortcut, nullptr);
    return CGRectContainsPoint(shortcut, convertPointFromView(windowPoint, nullptr));
}

bool KSShortcutView::locationInHintRect(CGPoint windowPoint) const
{
    CGRect hint;
    getShortcutRect(nullptr, &hint);
    return CGRectContainsPoint(hint, convertPointFromView(windowPoint, nullptr));
}

std::string KSShortcutView::currentTitle() const
{
    if (m_recording) {
        if (m_hinting)
            return m_shortcutValue ? text("Use Old Shortcut", "Cancel action button for non-empty shortcut in recording state")
                                   : text("Cancel", "Cancel action button in recording state");
        if (!m_shortcutPlaceholder.empty())
            return m_shortcutPlaceholder;
        return m_shortcutValue ? text("Type New Shortcut", "Non-empty shortcut button in recording state")
                               : text("Type Shortcut", "Empty shortcut button in recording state");
    }
    if (m_shortcutValue)
        return m_shortcutValue->description();
    return text("Record Shortcut", "Empty shortcut button in normal state");
}

void KSShortcutView::drawInRect(CGRect frame, const std::string& title, NSTextAlignment alignment, NSControlStateValue state)
{
    m_shortcutCell->setTitle(title);
    m_shortcutCell->setAlignment(alignment);
    m_shortcutCell->setState(state);
    m_shortcutCell->setEnabled(m_enabled);
    if (m_style == KSShortcutViewStyleTexturedRect || m_style == KSShortcutViewStyleRounded)
        frame = CGRectOffset(frame, 0, 1);
    m_shortcutCell->drawWithFrame(frame, this);
}

void KSShortcutView::drawHintGlyph(const std::string& glyph)
{
    // The button's face over the whole bounds, then the glyph in the middle
    // of the hint area, larger than the title: at the title's size these
    // glyphs are a few pixels wide, and right-aligned over the bounds they
    // touch the border.
    drawInRect(bounds(), {}, NSTextAlignmentRight, NSControlStateValueOff);
    CGRect hint;
    getShortcutRect(nullptr, &hint);
    auto font = m_shortcutCell->font();
    m_shortcutCell->setFont(NSFont::fontWithName(font ? font->fontName() : std::string(), kHintGlyphFontSize));
    m_shortcutCell->setTitle(glyph);
    m_shortcutCell->setAlignment(NSTextAlignmentCenter);
    m_shortcutCell->drawInteriorWithFrame(hint, this);
    m_shortcutCell->setFont(font);
}

void KSShortcutView::drawRect(CGRect)
{
    CGRect shortcut;
    getShortcutRect(&shortcut, nullptr);
    if (m_recording) {
        drawHintGlyph("\u238B");
        drawInRect(shortcut, currentTitle(), NSTextAlignmentCenter, NSControlStateValueOn);
    } else if (m_shortcutValue) {
        if (m_showsDeleteButton)
            drawHintGlyph("\u2715");
        drawInRect(shortcut, currentTitle(), NSTextAlignmentCenter, NSControlStateValueOff);
    } else {
        drawInRect(bounds(), currentTitle(), NSTextAlignmentCenter, NSControlStateValueOff);
    }
}

// MARK: Mouse, tracking and tool tips

void KSShortcutView::mouseDown(const Ref<NSEvent>& event)
{
    if (!m_enabled) {
        NSView::mouseDown(event);
        return;
    }
    CGPoint point = event->locationInWindow();
    if (m_recording) {
        if (locationInHintRect(point))
            setRecording(false);
        return;
    }
    if (m_shortcutValue && !locationInShortcutRect(point))
        setShortcutValue(nullptr);
    else
        setRecording(true);
}

void KSShortcutView::updateTrackingAreas()
{
    NSView::updateTrackingAreas();
    if (m_hintArea) {
        removeTrackingArea(m_hintArea);
        m_hintArea = nullptr;
    }
    if (!m_enabled)
        return;
    CGRect hint;
    getShortcutRect(nullptr, &hint);
    m_hintArea = makeRef<NSTrackingArea>(hint,
        NSTrackingMouseEnteredAndExited | NSTrackingActiveAlways | NSTrackingAssumeInside, selfRef<NSResponder>());
    addTrackingArea(m_hintArea);
}

void KSShortcutView::resetToolTips()
{
    m_shortcutToolTipTag = m_hintToolTipTag = 0;
    m_shortcutToolTipRect = m_hintToolTipRect = CGRectZero;
    if (!m_shortcutValue || m_recording || !m_enabled)
        return;
    getShortcutRect(&m_shortcutToolTipRect, &m_hintToolTipRect);
    m_shortcutToolTipTag = shared().nextToolTipTag++;
    if (!CGRectIsEmpty(m_hintToolTipRect))
        m_hintToolTipTag = shared().nextToolTipTag++;
}

std::string KSShortcutView::toolTipAtPoint(CGPoint point) const
{
    if (m_hintToolTipTag && CGRectContainsPoint(m_hintToolTipRect, point))
        return text("Delete shortcut", "Tooltip for hint button near the non-empty shortcut");
    if (m_shortcutToolTipTag && CGRectContainsPoint(m_shortcutToolTipRect, point))
        return text("Click to record new shortcut", "Tooltip for non-empty shortcut button");
    return {};
}

// MARK: Accessibility

std::string KSShortcutView::accessibilityLabel() const
{
    std::string title = m_shortcutValue ? m_shortcutValue->description() : std::string("Empty");
    return title + " " + text("keyboard shortcut", "VoiceOver title");
}

std::string KSShortcutView::accessibilityHelp() const
{
    return text("To record a new shortcut, click this button, and then type the new shortcut, or press delete to clear an existing shortcut.",
        "VoiceOver shortcut help");
}

bool KSShortcutView::accessibilityPerformPress()
{
    if (m_recording)
        return false;
    setRecording(true);
    return true;
}

// MARK: Recording

void KSShortcutView::setRecording(bool flag)
{
    auto& state = shared();
    if (flag) {
        auto self = selfRef<KSShortcutView>();
        if (state.recordingView && state.recordingView != self)
            state.recordingView->setRecording(false);
        state.recordingView = self;
        if (!m_enabled) {
            state.recordingView = nullptr;
            return;
        }
    }
    if (flag == m_recording)
        return;
    m_recording = flag;
    setShortcutPlaceholder({});
    resetToolTips();
    activateEventMonitoring(flag);
    activateResignObserver(flag);
    // The hot keys would take their combinations before the key monitor
    // sees them (and open the switcher); they rest while this one records.
    if (auto monitor = KSShortcutMonitor::sharedMonitor())
        monitor->setSuspended(flag);
    // The shared slot holds the recording view only while it records, so
    // that a recorder that stopped can go away with its window.
    if (!flag && state.recordingView.get() == this)
        state.recordingView = nullptr;
    invalidateIntrinsicContentSize();
    setNeedsDisplay(true);
    if (!flag) {
        std::string announcement = m_shortcutValue ? text("Shortcut set", "VoiceOver: Shortcut set")
                                                   : text("Shortcut cleared", "VoiceOver: Shortcut cleared");
        NSNotificationCenter::defaultCenter().postNotificationName(NSAccessibilityAnnouncementRequestedNotification,
            selfRef<NSObject>(),
            Value(Value::Dictionary { { "AXAnnouncementKey", Value(announcement) }, { "AXPriorityKey", Value(kAnnouncementPriority) } }));
    }
}

void KSShortcutView::activateEventMonitoring(bool flag)
{
    auto& state = shared();
    if (state.monitoring == flag)
        return;
    state.monitoring = flag;
    if (!flag) {
        state.monitor.reset();
        return;
    }
    state.monitor = NSEvent::addLocalMonitorForEventsMatchingMask(
        NSEventMaskKeyDown | NSEventMaskFlagsChanged, [](const Ref<NSEvent>& event) -> Ref<NSEvent> {
            auto view = shared().recordingView;
            return view ? view->handleRecordingEvent(event) : event;
        });
}

void KSShortcutView::activateResignObserver(bool flag)
{
    auto& state = shared();
    if (state.resignObserving == flag)
        return;
    state.resignObserving = flag;
    if (!flag) {
        state.resignObserver.reset();
        return;
    }
    Weak<KSShortcutView> weak = selfRef<KSShortcutView>();
    state.resignObserver = NSNotificationCenter::defaultCenter().addObserverForName(
        NSWindowDidResignKeyNotification, window(), dispatch_get_main_queue(), [weak](const NSNotification&) {
            if (auto self = weak.lock())
                self->setRecording(false);
        });
}

Ref<NSEvent> KSShortcutView::handleRecordingEvent(const Ref<NSEvent>& event)
{
    auto shortcut = KSShortcut::shortcutWithEvent(*event);
    if (!shortcut)
        return event;
    uint64_t modifiers = shortcut->modifierFlags();
    int64_t keyCode = shortcut->keyCode();
    if (keyCode == kVKTab)
        return event;
    if (modifiers == 0 && (keyCode == kVKDelete || keyCode == kVKForwardDelete)) {
        setShortcutValue(nullptr);
        setRecording(false);
        return nullptr;
    }
    if (modifiers == 0 && keyCode == kVKEscape) {
        setRecording(false);
        return nullptr;
    }
    if (modifiers == NSEventModifierFlagCommand && (keyCode == kVKW || keyCode == kVKQ)) {
        setRecording(false);
        return event;
    }
    if (shortcut->keyCodeString().value_or("").empty()) {
        setShortcutPlaceholder(shortcut->modifierFlagsString());
        return nullptr;
    }
    if (m_shortcutValidator && !m_shortcutValidator->isShortcutValid(shortcut)) {
        NSBeep();
        return nullptr;
    }
    std::string explanation;
    if (m_shortcutValidator && m_shortcutValidator->isShortcutAlreadyTakenBySystem(shortcut, &explanation)) {
        auto self = selfRef<KSShortcutView>();
        activateResignObserver(false);
        activateEventMonitoring(false);
        auto alert = makeRef<NSAlert>();
        alert->setAlertStyle(NSAlertStyle::Critical);
        alert->setInformativeText(explanation);
        alert->setMessageText(stringWithFormat(
            text("The key combination %@ cannot be used", "Title for alert when shortcut is already used").c_str(),
            shortcut->description()));
        alert->addButtonWithTitle(text("OK", "Alert button when shortcut is already used"));
        alert->runModal();
        setShortcutPlaceholder({});
        // Recording may have ended while the alert was up; only a recorder
        // that still records listens again.
        if (m_recording && shared().recordingView == self) {
            activateResignObserver(true);
            activateEventMonitoring(true);
        }
        return nullptr;
    }
    setShortcutValue(shortcut);
    setRecording(false);
    return nullptr;
}
