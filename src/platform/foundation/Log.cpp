#include "Log.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex gLogMutex;
int gCaptureDepth = 0;
std::vector<std::string> gCaptured;
std::string gProgramName = "quorvex";
}

void setLogProgramName(const std::string& name)
{
    std::lock_guard lock(gLogMutex);
    gProgramName = name;
}

void NSLogString(const std::string& line)
{
    std::lock_guard lock(gLogMutex);
    if (gCaptureDepth > 0) {
        gCaptured.push_back(line);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", gProgramName.c_str(), line.c_str());
}

LogCapture::LogCapture()
{
    std::lock_guard lock(gLogMutex);
    if (gCaptureDepth++ == 0)
        gCaptured.clear();
}

LogCapture::~LogCapture()
{
    std::lock_guard lock(gLogMutex);
    --gCaptureDepth;
}

std::vector<std::string> LogCapture::lines() const
{
    std::lock_guard lock(gLogMutex);
    return gCaptured;
}

bool LogCapture::contains(const std::string& fragment) const { return count(fragment) > 0; }

size_t LogCapture::count(const std::string& fragment) const
{
    std::lock_guard lock(gLogMutex);
    size_t n = 0;
    for (const auto& line : gCaptured)
        if (line.find(fragment) != std::string::npos)
            ++n;
    return n;
}

void LogCapture::clear()
{
    std::lock_guard lock(gLogMutex);
    gCaptured.clear();
}
