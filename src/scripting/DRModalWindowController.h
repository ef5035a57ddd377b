// The heads-up panel scripts show with new Modal(): a floating window that
// ignores the mouse, with an optional icon and a line of text on a dark,
// light or transparent rounded background, faded in and out, optionally
// closing itself a while after it appeared.
#pragma once

#include <appkit/NSWindowController.h>
#include <foundation/CGGeometry.h>
#include <foundation/NSTimer.h>
#include <foundation/Token.h>

#include <string>
#include <vector>

class NSImage;
class NSImageView;
class NSLayoutConstraint;
class NSTextField;
class NSView;
class JSExportClass;

class DRModalWindowController : public NSWindowController {
public:
    // new Modal(): a panel with the defaults.
    static Ref<DRModalWindowController> create();
    DRModalWindowController();
    ~DRModalWindowController() override;

    // frame(): the panel's frame after layout (bottom-left screen
    // coordinates); zero without a window.
    CGRect frame();
    void show();
    void close();

    CGPoint origin() const { return m_origin; }
    void setOrigin(CGPoint origin);
    double duration() const { return m_duration; }
    void setDuration(double duration) { m_duration = duration; }
    double animationDuration() const { return m_animationDuration; }
    void setAnimationDuration(double duration) { m_animationDuration = duration; }
    // The text's point size in the panel.
    double weight() const { return m_weight; }
    void setWeight(double weight) { m_weight = weight; }
    std::string appearance() const { return m_appearance; }
    void setAppearance(const std::string& appearance) { m_appearance = appearance; }
    Ref<NSImage> icon() const { return m_icon; }
    void setIcon(Ref<NSImage> icon);
    std::string text() const { return m_text; }
    void setText(const std::string& text);
    std::string message() const { return m_message; }
    void setMessage(const std::string& message);

    // 0 dark, 1 light, 2 transparent, from the appearance in any case.
    long material() const;
    bool hasText() const { return !m_text.empty(); }
    bool isDisplayable() const { return m_icon || hasText(); }
    void layout();

    // Outlets the interface file fills.
    void setContainerView(const Ref<NSView>& view) { m_containerView = view; }
    const Ref<NSView>& containerView() const { return m_containerView; }
    void setIconView(const Ref<NSImageView>& view) { m_iconView = view; }
    void setTextField(const Ref<NSTextField>& field) { m_textField = field; }
    const Ref<NSTextField>& textField() const { return m_textField; }
    void setIconViewZeroWidthConstraint(const Ref<NSLayoutConstraint>& c) { m_iconViewZeroWidthConstraint = c; }
    const Ref<NSLayoutConstraint>& iconViewZeroWidthConstraint() const { return m_iconViewZeroWidthConstraint; }
    void setSeparatorConstraint(const Ref<NSLayoutConstraint>& c) { m_separatorConstraint = c; }
    const Ref<NSLayoutConstraint>& separatorConstraint() const { return m_separatorConstraint; }

    void windowDidLoad() override;
    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

    static const std::vector<std::string>& keyPaths();
    // The panels on screen now, oldest first.
    static std::vector<Ref<DRModalWindowController>> shownPanels();
    static const JSExportClass& exportClass();

private:
    void observeValueForKeyPath(const std::string& keyPath);
    void setupVibrantAppearance();
    void fadeWindowToAlpha(double alpha, std::function<void()> completionHandler);
    // The size the content needs: icon, separator and text with margins.
    CGSize fittingContentSize() const;

    CGPoint m_origin { 0, 0 };
    double m_duration { 0 };
    double m_animationDuration { 0.2 };
    double m_weight { 24 };
    std::string m_appearance { "dark" };
    Ref<NSImage> m_icon;
    std::string m_text;
    std::string m_message;
    Ref<NSView> m_containerView;
    Ref<NSImageView> m_iconView;
    Ref<NSTextField> m_textField;
    Ref<NSLayoutConstraint> m_iconViewZeroWidthConstraint;
    Ref<NSLayoutConstraint> m_separatorConstraint;
    std::vector<Token> m_observers;
    Ref<NSTimer> m_closeTimer;
};
