#include "TerminationSignals.h"

#include <foundation/RunLoop.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The pipe's writing end, for the signal handler: all it may do is write.
volatile sig_atomic_t gWriteEnd = -1;

void noteSignal(int signal)
{
    int saved = errno;
    unsigned char number = static_cast<unsigned char>(signal);
    if (gWriteEnd >= 0)
        (void)!::write(gWriteEnd, &number, 1);
    errno = saved;
}

}

TerminationSignals::TerminationSignals(std::function<void(int signal)> handler)
{
    if (pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    int readEnd = m_pipe[0];
    m_source = RunLoop::main().addFileDescriptorSource(readEnd, [readEnd, handler = std::move(handler)] {
        unsigned char numbers[16];
        ssize_t n;
        while ((n = ::read(readEnd, numbers, sizeof numbers)) > 0)
            for (ssize_t i = 0; i < n; ++i)
                handler(numbers[i]);
    });
    gWriteEnd = m_pipe[1];
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    // Calls of other threads that the signal interrupts go on.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &m_previousInterrupt);
    sigaction(SIGTERM, &action, &m_previousTerminate);
}

TerminationSignals::~TerminationSignals()
{
    if (m_pipe[0] < 0)
        return;
    sigaction(SIGINT, &m_previousInterrupt, nullptr);
    sigaction(SIGTERM, &m_previousTerminate, nullptr);
    gWriteEnd = -1;
    m_source.reset();
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}
