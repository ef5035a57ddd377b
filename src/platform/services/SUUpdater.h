// The software updater's interface. Nothing is downloaded and nothing
// leaves the machine: the updater records what it is asked, and each check
// it would make, with the feed and whether its delegate wanted the beta
// channel. A background check runs only while automatic checks are on.
#pragma once

#include <appkit/NSActionTarget.h>
#include <foundation/NSObject.h>

#include <mutex>
#include <string>
#include <vector>

class SUUpdater;

// What the updater's delegate may answer; a delegate that is not one of
// these gets the defaults.
class SUUpdaterDelegate {
public:
    virtual ~SUUpdaterDelegate() = default;
    virtual bool updaterShouldCheckForBetaUpdates(SUUpdater&) { return false; }
};

// One check the updater made.
struct SUUpdateCheck {
    enum class Kind { Background, UserInitiated };
    Kind kind { Kind::Background };
    // The feed at the time of the check; empty when none was set.
    std::string feedURL;
    // The delegate's answer to updaterShouldCheckForBetaUpdates.
    bool beta { false };
    // The clock's time of the check.
    double date { 0 };
};

class SUUpdater final : public NSObject, public NSActionTarget {
public:
    static Ref<SUUpdater> sharedUpdater();

    SUUpdater();

    Ref<NSObject> delegate() const;
    void setDelegate(const Ref<NSObject>& delegate);
    // The update feed address; empty for none (what an address that does not
    // parse gives).
    std::string feedURL() const;
    void setFeedURL(const std::string& url);
    // Off until set.
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool flag);

    // A quiet check, as the automatic schedule makes; nothing happens while
    // automatic checks are off.
    void checkForUpdatesInBackground();
    // The check a person asks for (also the action "checkForUpdates:").
    void checkForUpdates(const Ref<NSObject>& sender);

    // What the updater was asked, in order: "setDelegate", "setFeedURL
    // <url>", "setAutomaticallyChecksForUpdates YES|NO",
    // "checkForUpdatesInBackground", "checkForUpdates:".
    std::vector<std::string> calls() const;
    // The checks made, in order.
    std::vector<SUUpdateCheck> checks() const;
    // Forgets the delegate, the feed, the setting and the records (tests).
    void reset();

private:
    void record(const std::string& call);
    void check(SUUpdateCheck::Kind kind);

    mutable std::mutex m_mutex;
    Weak<NSObject> m_delegate;
    std::string m_feedURL;
    bool m_automaticChecks { false };
    std::vector<std::string> m_calls;
    std::vector<SUUpdateCheck> m_checks;
};
