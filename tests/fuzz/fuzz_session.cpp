// Session scripts played on the demo desktop, with a host that has no
// panel: every line runs or is refused with a message.
#include "FuzzTarget.h"

#include <command/QuorvexSession.h>
#include <desktop/sim/SimDesktop.h>
#include <services/PlatformStartup.h>

#include <filesystem>
#include <sstream>
#include <unistd.h>

namespace {

class NoPanelHost final : public QuorvexSessionHost {
public:
    bool isPanelVisible() override { return false; }
    std::optional<std::string> selectedTitle() override { return std::nullopt; }
    size_t shownCount() override { return 0; }
};

}

QV_FUZZ_TARGET(session)
{
    // Long scripts add nothing that short ones do not find.
    if (size > 4096)
        return;
    static const auto out = [] {
        auto path = std::filesystem::temp_directory_path() / ("quorvex-fuzz-session-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    auto desktop = SimDesktop::demo();
    PlatformInstallDesktop(desktop);
    NoPanelHost host;
    std::ostringstream messages;
    QuorvexSession session(*desktop, host, out, messages, messages);
    std::istringstream script(std::string(reinterpret_cast<const char*>(data), size));
    auto status = session.run(script, "fuzz.session");
    fuzzRequire(status == QuorvexSession::Passed || !messages.str().empty(), "a stopped session says why");
}
