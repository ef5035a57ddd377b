// Builds the view of a preference pane from the top down: rows of a label
// and a control, check boxes and buttons, bound to the user defaults. The
// panes' interface files use it.
#pragma once

#include "KSShortcutView.h"

#include <appkit/NSButton.h>
#include <appkit/NSPopUpButton.h>
#include <appkit/NSTextField.h>
#include <appkit/NSView.h>
#include <foundation/Value.h>
#include <graphics/NSImage.h>

#include <optional>

#include <string>
#include <utility>
#include <vector>

class PreferencePaneBuilder {
public:
    explicit PreferencePaneBuilder(CGFloat width);

    // A check box bound to a defaults key (none when key is empty), with an
    // action sent to the target after each click.
    Ref<NSButton> checkbox(const std::string& title, const std::string& key, const Ref<NSObject>& target = nullptr,
        const std::string& action = {});
    // A label and a pop-up on one row; the pop-up's index is bound to the key
    // when one is given.
    Ref<NSPopUpButton> popUp(const std::string& label, const std::vector<std::string>& titles, const std::string& key = {});
    // A label, a pop-up and a recorder on one row.
    std::pair<Ref<NSPopUpButton>, Ref<KSShortcutView>> popUpAndRecorder(const std::string& label);
    // A row of push buttons, right-aligned.
    std::vector<Ref<NSButton>> buttons(const std::vector<std::pair<std::string, std::string>>& titlesAndActions,
        const Ref<NSObject>& target);
    void space(CGFloat height);

    // The finished view, as tall as its rows.
    Ref<NSView> finish();

private:
    Ref<NSTextField> label(const std::string& text, CGFloat y);
    CGFloat place(CGFloat height);

    CGFloat m_width;
    CGFloat m_used { 0 };
    // The controls in the order they were placed, with their heights; they
    // are set in a flipped order (top down) when the view is finished.
    std::vector<std::pair<Ref<NSView>, CGRect>> m_views;
};

// A toolbar image by name; none when there is no such image.
std::optional<Ref<NSImage>> paneImage(const std::string& name);

// The pane's settings whose stored values have the wrong type, each with a
// log line that says how the control and the program read it (the same
// way); the stored value is left as it is until the person changes it.
void logMistypedSettings(const std::string& pane, const std::vector<std::pair<std::string, Value::Type>>& keys);
