#include "PreferencePaneBuilder.h"

#include <appkit/NSKeyValueBinding.h>
#include <appkit/NSUserDefaultsController.h>
#include <foundation/Log.h>
#include <foundation/NSUserDefaults.h>

namespace {

constexpr CGFloat kMargin = 20;
constexpr CGFloat kRowHeight = 24;
constexpr CGFloat kRowGap = 8;
constexpr CGFloat kLabelWidth = 150;
constexpr CGFloat kPopUpWidth = 200;
constexpr CGFloat kRecorderWidth = 150;
constexpr CGFloat kButtonWidth = 150;

const char* typeName(Value::Type type)
{
    switch (type) {
    case Value::Type::Bool:
        return "a yes-or-no value";
    case Value::Type::Integer:
        return "a whole number";
    case Value::Type::String:
        return "a text";
    default:
        return "another kind of value";
    }
}

}

PreferencePaneBuilder::PreferencePaneBuilder(CGFloat width)
    : m_width(width)
{
    m_used = kMargin;
}

CGFloat PreferencePaneBuilder::place(CGFloat height)
{
    CGFloat top = m_used;
    m_used += height + kRowGap;
    return top;
}

void PreferencePaneBuilder::space(CGFloat height) { m_used += height; }

Ref<NSTextField> PreferencePaneBuilder::label(const std::string& text, CGFloat top)
{
    auto field = NSTextField::labelWithString(text);
    field->setAlignment(NSTextAlignmentRight);
    CGFloat height = field->intrinsicContentSize().height;
    m_views.push_back({ field, CGRectMake(kMargin, top + (kRowHeight - height) / 2, kLabelWidth - 8, height) });
    return field;
}

Ref<NSButton> PreferencePaneBuilder::checkbox(
    const std::string& title, const std::string& key, const Ref<NSObject>& target, const std::string& action)
{
    auto box = NSButton::checkboxWithTitle(title, target, action);
    if (!key.empty())
        box->bind(NSValueBinding, NSUserDefaultsController::sharedUserDefaultsController(), "values." + key);
    CGFloat top = place(kRowHeight);
    m_views.push_back({ box, CGRectMake(kMargin + kLabelWidth, top, m_width - kLabelWidth - 2 * kMargin, kRowHeight) });
    return box;
}

Ref<NSPopUpButton> PreferencePaneBuilder::popUp(
    const std::string& text, const std::vector<std::string>& titles, const std::string& key)
{
    CGFloat top = place(kRowHeight);
    label(text, top);
    auto popUp = makeRef<NSPopUpButton>();
    popUp->addItemsWithTitles(titles);
    if (!key.empty())
        // An absent setting reads 0, the first choice.
        popUp->bind(NSSelectedIndexBinding, NSUserDefaults::standardUserDefaults(), key,
            Value(Value::Dictionary { { NSNullPlaceholderBindingOption, Value(int64_t(0)) } }));
    m_views.push_back({ popUp, CGRectMake(kMargin + kLabelWidth, top, kPopUpWidth, kRowHeight) });
    return popUp;
}

std::pair<Ref<NSPopUpButton>, Ref<KSShortcutView>> PreferencePaneBuilder::popUpAndRecorder(const std::string& text)
{
    CGFloat top = place(kRowHeight);
    label(text, top);
    auto popUp = makeRef<NSPopUpButton>();
    auto recorder = makeRef<KSShortcutView>();
    CGFloat x = kMargin + kLabelWidth;
    m_views.push_back({ popUp, CGRectMake(x, top, kPopUpWidth, kRowHeight) });
    m_views.push_back({ recorder, CGRectMake(x + kPopUpWidth + 10, top, kRecorderWidth, kRowHeight) });
    return { popUp, recorder };
}

std::vector<Ref<NSButton>> PreferencePaneBuilder::buttons(
    const std::vector<std::pair<std::string, std::string>>& titlesAndActions, const Ref<NSObject>& target)
{
    CGFloat top = place(kRowHeight + 4);
    std::vector<Ref<NSButton>> made;
    CGFloat x = m_width - kMargin - kButtonWidth * titlesAndActions.size() - 10 * (titlesAndActions.size() - 1);
    for (const auto& [title, action] : titlesAndActions) {
        auto button = NSButton::buttonWithTitle(title, target, action);
        m_views.push_back({ button, CGRectMake(x, top, kButtonWidth, kRowHeight + 4) });
        made.push_back(button);
        x += kButtonWidth + 10;
    }
    return made;
}

Ref<NSView> PreferencePaneBuilder::finish()
{
    CGFloat height = m_used - kRowGap + kMargin;
    auto view = makeRef<NSView>(CGRectMake(0, 0, m_width, height));
    // Rows were placed from the top; the view's y grows upwards.
    for (auto& [control, frame] : m_views) {
        control->setFrame(CGRectMake(frame.origin.x, height - frame.origin.y - frame.size.height, frame.size.width, frame.size.height));
        view->addSubview(control);
    }
    return view;
}

void logMistypedSettings(const std::string& pane, const std::vector<std::pair<std::string, Value::Type>>& keys)
{
    auto defaults = NSUserDefaults::standardUserDefaults();
    for (const auto& [key, type] : keys) {
        Value value = defaults->objectForKey(key);
        if (value.isNil() || value.type() == type)
            continue;
        // A whole number where a yes-or-no value is expected reads the same.
        if (type == Value::Type::Bool && value.type() == Value::Type::Integer)
            continue;
        // The control and the program read the setting alike; say how.
        std::string reading = type == Value::Type::Bool ? (defaults->boolForKey(key) ? "on" : "off")
                                                        : std::to_string(defaults->integerForKey(key));
        NSLog("%@ preferences: the setting \"%@\" holds %@ (%@), not %@; its control and the program read it as %@, and the stored value is kept until the control changes it",
            pane, key, typeName(value.type()), value.description(), typeName(type), reading);
    }
}

std::optional<Ref<NSImage>> paneImage(const std::string& name)
{
    auto image = NSImage::imageNamed(name);
    return image ? std::optional<Ref<NSImage>>(image) : std::nullopt;
}
