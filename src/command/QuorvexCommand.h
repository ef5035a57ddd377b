// The quorvex command: loads a desktop and runs the system on it.
#pragma once

#include <model/SWWindow.h>

#include <ostream>
#include <vector>

// Runs the command with its arguments; returns the process's exit status.
int runQuorvex(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// What the system sees through accessibility: screens with their usable
// frames, windows with their frames, and the two permission answers.
// Answers the window records it made (none captures a preview).
std::vector<Ref<SWWindow>> printAccessibilityReport(std::ostream& out);
