// SPDX-License-Identifier: GPL-3.0-or-later
#include "GuiTestHelpers.h"
#include "app/QuitSignals.h"

#include <gtest/gtest.h>

#include <csignal>

TEST(QuitSignals, EachSessionSignalBecomesOneQuitRequestOnTheMessageThread)
{
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP})
    {
        int requests = 0;
        bool onMessageThread = false;
        {
            const QuitSignals signals(
                [&]
                {
                    ++requests;
                    onMessageThread = juce::MessageManager::getInstance()->isThisTheMessageThread();
                });

            std::raise(signalNumber);
            EXPECT_EQ(requests, 0) << "the handler itself only writes to a pipe";
            EXPECT_TRUE(pumpUntil([&] { return requests > 0; }, 2000)) << signalNumber;
            EXPECT_TRUE(onMessageThread);
        }

        // Afterwards the signal's default action is back in place.
        struct sigaction current = {};
        sigaction(signalNumber, nullptr, &current);
        EXPECT_EQ(current.sa_handler, SIG_DFL) << signalNumber;
        EXPECT_EQ(requests, 1) << signalNumber;
    }
}
