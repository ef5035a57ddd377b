// SIGINT and SIGTERM end the program cleanly from whatever run loop is going
// on: the main one, a modal window's or a mouse-tracking one.
#pragma once

#include <foundation/Token.h>

#include <csignal>
#include <functional>

class TerminationSignals {
public:
    // From now on the two signals call the handler on the main run loop, in
    // every common mode (so also during a modal run), with the signal's
    // number. One at a time in a process.
    explicit TerminationSignals(std::function<void(int signal)> handler);
    // Puts back the handlers that were there before.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    int m_pipe[2] { -1, -1 };
    Token m_source;
    struct sigaction m_previousInterrupt {};
    struct sigaction m_previousTerminate {};
};
