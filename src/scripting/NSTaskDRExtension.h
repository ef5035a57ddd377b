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
    // failure reason. With a time limit (seconds, 0 for none), a shell that
    // has not ended by then is stopped with everything it started, and that
    // is the failure.
    static std::string outputFromLaunchedTaskWithEnvironment(const std::map<std::string, std::string>& environment,
        const std::vector<std::string>& arguments, Ref<NSError>* error, double timeLimit = 0);
    // The login shell's PATH, without the line break echo ends it with;
    // empty when the shell fails (or does not end within the time limit).
    static std::string searchPath(double timeLimit = 0);
    // The shell that runs commands.
    static std::string shellPath();
};
