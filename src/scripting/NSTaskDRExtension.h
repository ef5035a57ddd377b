// Running the user's shell for the scripting layer.
#pragma once

#include <foundation/NSError.h>

#include <map>
#include <string>
#include <vector>

inline const std::string NSTaskErrorDomain = "NSTaskErrorDomain";

class NSTaskDRExtension {
public:
    // Runs the shell named by $SHELL (/bin/sh when it is unset) with exactly
    // this environment and these arguments; standard output and standard
    // error are both read in full while the child runs, so neither can
    // stall it. Returns standard output (also when the shell failed); when
    // it could not start or exited with a non-zero status, error gets
    // "Task failed." with standard error (or why it could not start) as the
    // failure reason.
    static std::string outputFromLaunchedTaskWithEnvironment(
        const std::map<std::string, std::string>& environment, const std::vector<std::string>& arguments, Ref<NSError>* error);
    // The login shell's PATH, without the line break echo ends it with;
    // empty when the shell fails.
    static std::string searchPath();
    // The shell that runs commands.
    static std::string shellPath();
};
