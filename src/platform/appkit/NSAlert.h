// Modal alerts. Here they show nothing: each alert is recorded, and its
// answer comes from a queue that tests and sessions fill (the first button
// when the queue is empty).
#pragma once

#include <foundation/NSObject.h>

#include <functional>
#include <string>
#include <vector>

using NSModalResponse = long;
inline constexpr NSModalResponse NSAlertFirstButtonReturn = 1000;
inline constexpr NSModalResponse NSAlertSecondButtonReturn = 1001;
inline constexpr NSModalResponse NSAlertThirdButtonReturn = 1002;
// Answers of the older alert form.
inline constexpr NSModalResponse NSAlertDefaultReturn = 1;
inline constexpr NSModalResponse NSAlertAlternateReturn = 0;
inline constexpr NSModalResponse NSAlertOtherReturn = -1;

enum class NSAlertStyle { Warning = 0, Informational = 1, Critical = 2 };

class NSAlert : public NSObject {
public:
    // The older form: default, alternate and other buttons (empty = none).
    static Ref<NSAlert> alertWithMessageText(const std::string& message, const std::string& defaultButton,
        const std::string& alternateButton, const std::string& otherButton, const std::string& informativeText);

    void setMessageText(const std::string& text) { m_messageText = text; }
    const std::string& messageText() const { return m_messageText; }
    void setInformativeText(const std::string& text) { m_informativeText = text; }
    const std::string& informativeText() const { return m_informativeText; }
    void setAlertStyle(NSAlertStyle style) { m_style = style; }
    NSAlertStyle alertStyle() const { return m_style; }
    void addButtonWithTitle(const std::string& title);
    const std::vector<std::string>& buttonTitles() const { return m_buttons; }

    NSModalResponse runModal();

    // What was shown, oldest first.
    struct Record {
        std::string messageText;
        std::string informativeText;
        std::vector<std::string> buttons;
        NSModalResponse response;
    };
    static std::vector<Record> shownAlerts();
    // Queues the answer of the next alert, by button index (0 = first),
    // and what happens while that alert is up (a timer that fires, a window
    // that goes away), run before the answer is given.
    static void queueAnswer(int buttonIndex, std::function<void()> whileShown = nullptr);
    static void resetRecords();

private:
    std::string m_messageText;
    std::string m_informativeText;
    std::vector<std::string> m_buttons;
    std::vector<NSModalResponse> m_responses;
    NSAlertStyle m_style { NSAlertStyle::Warning };
};
