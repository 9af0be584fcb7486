// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "wizard/Fragment.h"

#include <atomic>

// Sends the firmware on its own thread while showing a busy bar, then hands the result back to
// the message thread. It has no buttons: a started transfer runs to its end.
class ProgressFragment : public Fragment, public juce::Thread, public juce::AsyncUpdater
{
public:
    ProgressFragment();
    // Waits for the transfer, however long it takes: the firmware is never cut off mid-image.
    ~ProgressFragment() override;

    void paint(juce::Graphics& g) override;
    void resized() override;
    void updateText() override;
    void run() override;
    void handleAsyncUpdate() override;

private:
    double progress;
    std::atomic<bool> transferred{false};
    std::unique_ptr<juce::Label> lblHeader;
    std::unique_ptr<juce::Label> lblText;
    std::unique_ptr<juce::ProgressBar> pbWait;
    std::unique_ptr<juce::Label> lblNote;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(ProgressFragment)
};
