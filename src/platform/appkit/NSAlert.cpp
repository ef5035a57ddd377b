#include "NSAlert.h"

#include <deque>
#include <mutex>

namespace {
std::mutex gAlertMutex;
struct Answer {
    int buttonIndex;
    std::function<void()> whileShown;
};
std::deque<Answer> gAnswers;
std::vector<NSAlert::Record> gShown;
}

Ref<NSAlert> NSAlert::alertWithMessageText(const std::string& message, const std::string& defaultButton,
    const std::string& alternateButton, const std::string& otherButton, const std::string& informativeText)
{
    auto alert = makeRef<NSAlert>();
    alert->setMessageText(message);
    alert->setInformativeText(informativeText);
    // The older form answers 1, 0 and -1 for its default, alternate and
    // other buttons.
    alert->m_buttons.push_back(defaultButton.empty() ? "OK" : defaultButton);
    alert->m_responses.push_back(NSAlertDefaultReturn);
    if (!alternateButton.empty()) {
        alert->m_buttons.push_back(alternateButton);
        alert->m_responses.push_back(NSAlertAlternateReturn);
    }
    if (!otherButton.empty()) {
        alert->m_buttons.push_back(otherButton);
        alert->m_responses.push_back(NSAlertOtherReturn);
    }
    return alert;
}

void NSAlert::addButtonWithTitle(const std::string& title)
{
    m_responses.push_back(NSAlertFirstButtonReturn + static_cast<NSModalResponse>(m_buttons.size()));
    m_buttons.push_back(title);
}

NSModalResponse NSAlert::runModal()
{
    if (m_buttons.empty())
        addButtonWithTitle("OK");
    Answer answer { 0, nullptr };
    {
        std::lock_guard lock(gAlertMutex);
        if (!gAnswers.empty()) {
            answer = std::move(gAnswers.front());
            gAnswers.pop_front();
        }
    }
    // What happens while the alert is up runs before it is answered, on
    // this thread, as the modal run would serve it.
    if (answer.whileShown)
        answer.whileShown();
    int index = answer.buttonIndex;
    if (index < 0 || index >= static_cast<int>(m_buttons.size()))
        index = 0;
    NSModalResponse response = m_responses[index];
    std::lock_guard lock(gAlertMutex);
    gShown.push_back({ m_messageText, m_informativeText, m_buttons, response });
    return response;
}

std::vector<NSAlert::Record> NSAlert::shownAlerts()
{
    std::lock_guard lock(gAlertMutex);
    return gShown;
}

void NSAlert::queueAnswer(int buttonIndex, std::function<void()> whileShown)
{
    std::lock_guard lock(gAlertMutex);
    gAnswers.push_back({ buttonIndex, std::move(whileShown) });
}

void NSAlert::resetRecords()
{
    std::lock_guard lock(gAlertMutex);
    gAnswers.clear();
    gShown.clear();
}
