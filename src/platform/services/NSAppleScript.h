// Scripts for other applications. Here nothing runs them: each execution is
// recorded, and it reports success.
#pragma once

#include <foundation/NSObject.h>

#include <string>
#include <vector>

class NSAppleScript : public NSObject {
public:
    explicit NSAppleScript(std::string source)
        : m_source(std::move(source))
    {
    }
    const std::string& source() const { return m_source; }
    // Records the script; returns whether it ran (an empty script does not).
    bool executeAndReturnError(Value* errorInfo = nullptr);

    static std::vector<std::string> executedScripts();
    static void resetRecords();

private:
    std::string m_source;
};
