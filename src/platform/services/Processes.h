// Process activation of the older process services.
#pragma once

#include <cstdint>
#include <sys/types.h>

using OSStatus = int32_t;
using OptionBits = uint32_t;
inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus procNotFound = -600;
inline constexpr OSStatus paramErr = -50;

struct ProcessSerialNumber {
    uint32_t highLongOfPSN { 0 };
    uint32_t lowLongOfPSN { 0 };
};

inline constexpr OptionBits kSetFrontProcessFrontWindowOnly = 1 << 0;
inline constexpr OptionBits kSetFrontProcessCausedByUser = 1 << 1;

OSStatus GetProcessForPID(pid_t pid, ProcessSerialNumber* psn);
OSStatus GetProcessPID(const ProcessSerialNumber* psn, pid_t* pid);
// Brings the process to the front: with the front-window-only option just
// its frontmost window, otherwise all its windows.
OSStatus SetFrontProcessWithOptions(const ProcessSerialNumber* psn, OptionBits options);
