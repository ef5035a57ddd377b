#include "Processes.h"

#include <desktop/Desktop.h>

// A serial number carries the process id in its low word, with a marker in
// the high word so that a zeroed number is never valid.
static constexpr uint32_t kSerialMarker = 0x51560000;

OSStatus GetProcessForPID(pid_t pid, ProcessSerialNumber* psn)
{
    if (!psn)
        return paramErr;
    *psn = {};
    if (pid <= 0 || !Desktop::current().application(pid))
        return procNotFound;
    psn->highLongOfPSN = kSerialMarker;
    psn->lowLongOfPSN = static_cast<uint32_t>(pid);
    return noErr;
}

OSStatus GetProcessPID(const ProcessSerialNumber* psn, pid_t* pid)
{
    if (!psn || !pid)
        return paramErr;
    if (psn->highLongOfPSN != kSerialMarker)
        return procNotFound;
    *pid = static_cast<pid_t>(psn->lowLongOfPSN);
    return noErr;
}

OSStatus SetFrontProcessWithOptions(const ProcessSerialNumber* psn, OptionBits options)
{
    pid_t pid = 0;
    if (OSStatus status = GetProcessPID(psn, &pid); status != noErr)
        return status;
    if (!Desktop::current().activateApplication(pid, options & kSetFrontProcessFrontWindowOnly))
        return procNotFound;
    return noErr;
}
