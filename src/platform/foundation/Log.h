// The process's log. Lines go to standard error unless a test captures them.
#pragma once

#include "Format.h"

#include <string>
#include <vector>

void NSLogString(const std::string& line);
// The name that labels each printed line ("quorvex: ..."): the running
// program's own.
void setLogProgramName(const std::string& name);

template <class... Args>
void NSLog(const char* format, const Args&... args)
{
    NSLogString(stringWithFormat(format, args...));
}

// While one exists, log lines are collected here instead of printed.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(const std::string& fragment) const;
    size_t count(const std::string& fragment) const;
    void clear();
};
