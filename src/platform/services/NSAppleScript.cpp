#include "NSAppleScript.h"

#include <mutex>

namespace {
std::mutex gScriptMutex;
std::vector<std::string> gExecuted;
}

bool NSAppleScript::executeAndReturnError(Value* errorInfo)
{
    if (m_source.empty()) {
        if (errorInfo)
            *errorInfo = Value(Value::Dictionary { { "NSAppleScriptErrorMessage", Value("The script is empty.") } });
        return false;
    }
    std::lock_guard lock(gScriptMutex);
    gExecuted.push_back(m_source);
    return true;
}

std::vector<std::string> NSAppleScript::executedScripts()
{
    std::lock_guard lock(gScriptMutex);
    return gExecuted;
}

void NSAppleScript::resetRecords()
{
    std::lock_guard lock(gScriptMutex);
    gExecuted.clear();
}
