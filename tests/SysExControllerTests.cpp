// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimulatedMidi.h"
#include "midi/SysExController.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

class SysExControllerTest : public testing::Test
{
protected:
    ScopedSimulatedMidi simulated;
    SimulatedMidiService& midi = simulated.midi;
    SysExController controller;

    // Three ports: "Interface A", "VELKOR KX-7", "Velkor KX-7".
    std::vector<int> threePorts()
    {
        return {midi.addPort("Interface A"), midi.addPort("VELKOR KX-7"),
                midi.addPort("Velkor KX-7")};
    }
};

TEST_F(SysExControllerTest, FindsTheFirstPortIgnoringCase)
{
    threePorts();
    EXPECT_EQ(controller.indexOfDevice("Velkor KX-7"), 1);
    EXPECT_EQ(controller.indexOfDevice("interface a"), 0);
    EXPECT_EQ(controller.indexOfDevice("Interface"), -1);

    ASSERT_TRUE(controller.connectDevice("velkor kx-7"));
    EXPECT_EQ(controller.getConnectedName(), "VELKOR KX-7");
}

TEST_F(SysExControllerTest, OutOfRangeOrUnlistedLeavesAnOpenPortAlone)
{
    const auto ids = threePorts();
    ASSERT_TRUE(controller.connectDevice(2));

    for (const int index : {3, -1, 100})
        EXPECT_FALSE(controller.connectDevice(index)) << index;
    EXPECT_FALSE(controller.connectDevice("No Such Port"));

    EXPECT_EQ(controller.getConnectedName(), "Velkor KX-7");
    EXPECT_TRUE(midi.isOpen(ids[2]));
}

TEST_F(SysExControllerTest, ReconnectClosesFirstAndAFailedOpenLeavesNothingOpen)
{
    const auto ids = threePorts();
    ASSERT_TRUE(controller.connectDevice(2));
    midi.setRefusesOpen(ids[0], true);

    EXPECT_FALSE(controller.connectDevice(0));
    EXPECT_FALSE(midi.isOpen(ids[2]));
    EXPECT_EQ(controller.getConnectedName(), "");

    midi.setRefusesOpen(ids[0], false);
    ASSERT_TRUE(controller.connectDevice(0));
    controller.disconnectDevice();
    EXPECT_FALSE(midi.isOpen(ids[0]));
    EXPECT_EQ(controller.getConnectedName(), "");
}

TEST_F(SysExControllerTest, AWholeMessageGoesOutUnchangedAndThePortStaysOpen)
{
    const auto id = midi.addPort("Velkor KX-7");
    ASSERT_TRUE(controller.connectDevice("Velkor KX-7"));

    for (const size_t size : {2u, 3u, 100000u})
    {
        const auto midiBefore = midi.receivedBy(id).size();
        const auto bytes = sysExBytes(size);
        auto message = messageOf(bytes);

        ASSERT_TRUE(controller.sendMessage(message)) << size;
        const auto received = midi.receivedBy(id);
        EXPECT_EQ(std::vector<juce::uint8>(received.begin() + static_cast<long>(midiBefore),
                                           received.end()),
                  bytes)
            << size;
        EXPECT_TRUE(midi.isOpen(id));
    }
}

TEST_F(SysExControllerTest, RefusedSendsSendNothing)
{
    const auto id = midi.addPort("Velkor KX-7");
    const auto sysEx = sysExBytes(64);

    // Not SysEx: refused before the port list is even fetched.
    ASSERT_TRUE(controller.connectDevice(0));
    const auto listings = midi.listingCount();
    auto noteOn = juce::MidiMessage::noteOn(1, 60, static_cast<juce::uint8>(100));
    EXPECT_FALSE(controller.sendMessage(noteOn));
    EXPECT_EQ(midi.listingCount(), listings);

    // The service refuses the submission.
    midi.setSubmissionStatus(-5);
    auto message = messageOf(sysEx);
    EXPECT_FALSE(controller.sendMessage(message));
    midi.setSubmissionStatus(0);

    // Unplugged before the send.
    midi.removePort(id);
    EXPECT_FALSE(controller.sendMessage(message));

    // No port open at all.
    SysExController disconnected;
    EXPECT_FALSE(disconnected.sendMessage(message));

    EXPECT_TRUE(midi.receivedBy(id).empty());
}

TEST_F(SysExControllerTest, APortThatVanishesDuringTheSendIsAFailure)
{
    constexpr size_t size = 4000;
    const juce::int64 vanishPoints[] = {1, size / 2, size - 1, size};

    for (const auto after : vanishPoints)
    {
        const auto id = midi.addPort("Velkor KX-7");
        midi.vanishAfter(id, after);
        midi.setBytesPerSecond(after == size ? 0 : 1000000);
        ASSERT_TRUE(controller.connectDevice("Velkor KX-7")) << after;

        auto message = messageOf(sysExBytes(size));
        EXPECT_FALSE(controller.sendMessage(message)) << "vanished after " << after;
        EXPECT_EQ(static_cast<juce::int64>(midi.receivedBy(id).size()), after);
        EXPECT_FALSE(midi.isSending());
        controller.disconnectDevice();
    }
}

TEST_F(SysExControllerTest, UnpluggingDuringALongSendEndsItPromptly)
{
    const auto id = midi.addPort("Velkor KX-7");
    midi.setBytesPerSecond(100000); // the whole message would take ten seconds
    ASSERT_TRUE(controller.connectDevice(0));
    auto message = messageOf(sysExBytes(1000000));

    std::thread unplug(
        [&]
        {
            while (midi.receivedBy(id).size() < 1000)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            midi.removePort(id);
        });

    const auto start = std::chrono::steady_clock::now();
    const auto result = controller.sendMessage(message);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    unplug.join();

    EXPECT_FALSE(result);
    EXPECT_FALSE(midi.isSending());
    EXPECT_LT(midi.receivedBy(id).size(), 1000000u);
    EXPECT_LT(elapsed, std::chrono::seconds(5)); // far short of the ten-second send: it was aborted
}
