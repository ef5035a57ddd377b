#include "SUUpdater.h"

#include <foundation/Clock.h>

Ref<SUUpdater> SUUpdater::sharedUpdater()
{
    static auto* shared = new Ref<SUUpdater>(makeRef<SUUpdater>());
    return *shared;
}

SUUpdater::SUUpdater()
{
    setActionHandler("checkForUpdates:", [this](const Ref<NSObject>& sender) { checkForUpdates(sender); });
}

void SUUpdater::record(const std::string& call)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back(call);
}

Ref<NSObject> SUUpdater::delegate() const
{
    std::lock_guard lock(m_mutex);
    return m_delegate.lock();
}

void SUUpdater::setDelegate(const Ref<NSObject>& delegate)
{
    record("setDelegate");
    std::lock_guard lock(m_mutex);
    m_delegate = delegate;
}

std::string SUUpdater::feedURL() const
{
    std::lock_guard lock(m_mutex);
    return m_feedURL;
}

void SUUpdater::setFeedURL(const std::string& url)
{
    record("setFeedURL " + url);
    std::lock_guard lock(m_mutex);
    m_feedURL = url;
}

bool SUUpdater::automaticallyChecksForUpdates() const
{
    std::lock_guard lock(m_mutex);
    return m_automaticChecks;
}

void SUUpdater::setAutomaticallyChecksForUpdates(bool flag)
{
    record(std::string("setAutomaticallyChecksForUpdates ") + (flag ? "YES" : "NO"));
    std::lock_guard lock(m_mutex);
    m_automaticChecks = flag;
}

void SUUpdater::checkForUpdatesInBackground()
{
    record("checkForUpdatesInBackground");
    // Turning automatic checks off must also stop the quiet checks, whoever
    // asks for them.
    if (!automaticallyChecksForUpdates())
        return;
    check(SUUpdateCheck::Kind::Background);
}

void SUUpdater::checkForUpdates(const Ref<NSObject>&)
{
    record("checkForUpdates:");
    check(SUUpdateCheck::Kind::UserInitiated);
}

void SUUpdater::check(SUUpdateCheck::Kind kind)
{
    SUUpdateCheck entry;
    entry.kind = kind;
    entry.feedURL = feedURL();
    entry.date = Clock::current().now();
    // The delegate is asked outside the lock: it may ask the updater back.
    auto delegateObject = delegate();
    if (auto* delegate = dynamic_cast<SUUpdaterDelegate*>(delegateObject.get()))
        entry.beta = delegate->updaterShouldCheckForBetaUpdates(*this);
    std::lock_guard lock(m_mutex);
    m_checks.push_back(entry);
}

std::vector<std::string> SUUpdater::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<SUUpdateCheck> SUUpdater::checks() const
{
    std::lock_guard lock(m_mutex);
    return m_checks;
}

void SUUpdater::reset()
{
    std::lock_guard lock(m_mutex);
    m_delegate.reset();
    m_feedURL.clear();
    m_automaticChecks = false;
    m_calls.clear();
    m_checks.clear();
}
