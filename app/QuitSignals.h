// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

// Turns SIGTERM, SIGINT and SIGHUP (a logout, a terminal closing, kill) into a quit request on
// the message thread, so the program shuts down in order and a running transfer is waited for
// instead of the process dying mid-image.
class QuitSignals
{
public:
    explicit QuitSignals(std::function<void()> requestQuit);
    ~QuitSignals();

private:
    std::function<void()> onSignal;
    int pipeEnds[2] = {-1, -1};

    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;
};
