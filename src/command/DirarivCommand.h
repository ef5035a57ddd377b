// The dirariv command: hosts the scripting layer on a desktop (the
// simulated one), loads a configuration script, plays a session like
// quorvex does, and prints the layer's log and notifications as they come.
#pragma once

#include "QuorvexSession.h"

#include <ostream>
#include <string>

class DRContext;

// Runs the command with its arguments; returns the process's exit status.
int runDirariv(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// Session commands of the scripting host, besides quorvex's:
//   expect modal "TEXT"          a panel showing the text is on screen
//   expect modal hidden          no panel is on screen
//   expect stored KEY JSON       the storage file holds the value under the key
//                                (a word that is not JSON is a string)
//   expect log "TEXT"            a log line so far contains the text
//   expect notification "TEXT"   a notification so far contains the text
//   write FILE "TEXT"            replaces the file as an editor saves it
//                                (\\n in the quoted text is a line break); relative
//                                paths start at the configuration's folder
class SimDesktop;

class DirarivSessionHost final : public QuorvexSessionHost {
public:
    DirarivSessionHost(DRContext& host, SimDesktop& desktop)
        : m_host(host)
        , m_desktop(desktop)
    {
    }
    bool isPanelVisible() override { return false; }
    std::optional<std::string> selectedTitle() override { return std::nullopt; }
    size_t shownCount() override { return 0; }
    bool handlesExpectation(const std::string& what) const override;
    CommandResult runCommand(const std::vector<std::string>& words, std::string& problem) override;

private:
    DRContext& m_host;
    SimDesktop& m_desktop;
};
