// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MidiOutputService.h"

namespace
{
// Interim: a service with no ports, until the sequencer backend lands.
class NoMidiOutputService final : public MidiOutputService
{
public:
    juce::StringArray getDevices() override { return {}; }
    std::unique_ptr<MidiOutputPort> openDevice(int) override { return nullptr; }
    int sendSysEx(std::shared_ptr<SysExSendRequest>) override { return -1; }
};
} // namespace

std::unique_ptr<MidiOutputService> createPlatformMidiOutputService()
{
    return std::make_unique<NoMidiOutputService>();
}
