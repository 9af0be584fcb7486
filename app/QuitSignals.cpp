// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QuitSignals.h"

#include <juce_events/juce_events.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{
// The signal handler may only write to a pipe; the message loop reads the other end.
volatile std::sig_atomic_t writeEnd = -1;
constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void forwardSignal(int signalNumber)
{
    const auto savedErrno = errno;
    const auto byte = static_cast<char>(signalNumber);
    if (writeEnd >= 0) [[maybe_unused]]
        const auto written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}
} // namespace

QuitSignals::QuitSignals(std::function<void()> requestQuit) : onSignal(std::move(requestQuit))
{
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;

    writeEnd = pipeEnds[1];
    juce::LinuxEventLoop::registerFdCallback(pipeEnds[0],
                                             [this](int fd)
                                             {
                                                 char drained[16];
                                                 while (::read(fd, drained, sizeof drained) > 0)
                                                 {
                                                 }
                                                 onSignal();
                                             });

    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const auto s : handledSignals)
        sigaction(s, &action, nullptr);
}

QuitSignals::~QuitSignals()
{
    if (pipeEnds[0] < 0)
        return;

    for (const auto s : handledSignals)
        std::signal(s, SIG_DFL);

    writeEnd = -1;
    juce::LinuxEventLoop::unregisterFdCallback(pipeEnds[0]);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}
