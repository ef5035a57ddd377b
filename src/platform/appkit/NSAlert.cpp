#include "NSAlert.h"

#include <deque>
#include <mutex>

namespace {
std::mutex gAlertMutex;
std::deque<int> gAnswers;
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
    std::lock_guard lock(gAlertMutex);
    int index = 0;
    if (!gAnswers.empty()) {
        index = gAnswers.front();
        gAnswers.pop_front();
    }
    if (index < 0 || index >= static_cast<int>(m_buttons.size()))
        index = 0;
    NSModalResponse response = m_responses[index];
    gShown.push_back({ m_messageText, m_informativeText, m_buttons, response });
    return response;
}

std::vector<NSAlert::Record> NSAlert::shownAlerts()
{
    std::lock_guard lock(gAlertMutex);
    return gShown;
}

void NSAlert::queueAnswer(int buttonIndex)
{
    std::lock_guard lock(gAlertMutex);
    gAnswers.push_back(buttonIndex);
}

void NSAlert::resetRecords()
{
    std::lock_guard lock(gAlertMutex);
    gAnswers.clear();
    gShown.clear();
}
