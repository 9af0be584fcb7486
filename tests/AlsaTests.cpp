// SPDX-License-Identifier: GPL-3.0-or-later
// The ALSA backend against a real sequencer: the ports it lists and what arrives where it sends.
// They run where /dev/snd/seq exists (CI runs them in the alsa-vm harness) and skip elsewhere.
// Speeds are printed as figures, never asserted.

#include "AlsaTestRig.h"
#include "TestPackages.h"
#include "midi/AlsaRawMidiWriter.h"
#include "midi/SysExController.h"
#include "update/Crc16.h"
#include "update/PackageCheck.h"

#include <gtest/gtest.h>

#include <chrono>

namespace
{
constexpr unsigned writable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
constexpr size_t oneMiB = 1 << 20;
const char* const serialPortName = "Serial MIDI (UART16550A)";

juce::StringArray portsStartingWith(const juce::String& prefix)
{
    juce::StringArray found;
    for (const auto& name : getMidiOutputService().getDevices())
        if (name.startsWithIgnoreCase(prefix))
            found.add(name);

    return found;
}

std::string joined(const juce::StringArray& names)
{
    return names.joinIntoString(" | ").toStdString();
}

double microsecondsPerListing(int calls)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i)
        getMidiOutputService().getDevices();

    const std::chrono::duration<double, std::micro> total =
        std::chrono::steady_clock::now() - start;
    return total.count() / calls;
}

std::vector<juce::uint8> fileBytes(const juce::File& file, juce::int64 from = 0)
{
    juce::MemoryBlock block;
    file.loadFileAsData(block);
    const auto* bytes = static_cast<const juce::uint8*>(block.getData());
    const auto start =
        static_cast<size_t>(juce::jmin(from, static_cast<juce::int64>(block.getSize())));
    return {bytes + start, bytes + block.getSize()};
}

juce::String crcText(const std::vector<juce::uint8>& bytes)
{
    const auto crc = crc16Xmodem(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    return "0x" + juce::String::toHexString(crc).paddedLeft('0', 4).toUpperCase();
}

// updtool's "sent N bytes in T s" line, without what else it printed.
juce::String sentLine(const ToolRun& run)
{
    return run.output.fromFirstOccurrenceOf("sent ", true, false);
}

bool sendThroughController(const juce::String& portName, const std::vector<juce::uint8>& bytes)
{
    SysExController controller;
    if (!controller.connectDevice(portName.toRawUTF8()))
        return false;

    juce::MidiMessage message(bytes.data(), static_cast<int>(bytes.size()), 0.0);
    return controller.sendMessage(message);
}
} // namespace

class AlsaSequencer : public testing::Test
{
protected:
    TemporaryFolder temp;

    void SetUp() override
    {
        if (!hasSequencer())
            GTEST_SKIP() << "no ALSA sequencer (/dev/snd/seq) here; CI runs these in alsa-vm";

        installMidiOutputService(nullptr);
    }

    juce::String path(const char* name) const
    {
        return temp.folder.getChildFile(name).getFullPathName();
    }

    juce::String writePackageFile(const std::vector<juce::uint8>& payload) const
    {
        const auto file = temp.folder.getChildFile("firmware.upd");
        file.deleteFile();
        juce::FileOutputStream out(file);
        EXPECT_TRUE(writePackage(out, "VELKOR KX-7", "1.00",
                                 juce::MemoryBlock(payload.data(), payload.size())));
        return file.getFullPathName();
    }

    static ToolRun updtoolSend(const juce::String& how, const juce::String& port,
                               const juce::String& package)
    {
        return runTool({UPDTOOL_PATH, "send", how, port, package},
                       juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr);
    }
};

TEST_F(AlsaSequencer, ListsPortsByTheNamingRule)
{
    struct Client
    {
        const char* name;
        std::vector<TestClient::Port> ports;
    };
    const struct
    {
        const char* what;
        std::vector<Client> clients;
        juce::StringArray expected;
    } cases[] = {
        {"an only port takes the client's name",
         {{"Tavrin Rig", {{"Rig MIDI 1", writable}}}},
         {"Tavrin Rig"}},
        {"further ports keep a name of their own that starts with the client's",
         {{"Tavrin Rig", {{"in", writable}, {"TAVRIN RIG MIDI 2", writable}, {"fx", writable}}}},
         {"Tavrin Rig", "TAVRIN RIG MIDI 2", "Tavrin Rig fx"}},
        {"ports one cannot write to, subscribe to or see are not listed",
         {{"Tavrin Rig",
           {{"out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ},
            {"direct only", SND_SEQ_PORT_CAP_WRITE},
            {"private", writable | SND_SEQ_PORT_CAP_NO_EXPORT},
            {"in", writable}}}},
         {"Tavrin Rig"}},
        {"clients of the same name are told apart in client order",
         {{"Tavrin Rig", {{"in", writable}}}, {"tavrin rig", {{"in", writable}, {"b", writable}}}},
         {"Tavrin Rig", "tavrin rig #2", "tavrin rig b"}},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<std::unique_ptr<TestClient>> clients;
        for (const auto& client : c.clients)
            clients.push_back(std::make_unique<TestClient>(client.name, client.ports));

        EXPECT_EQ(joined(portsStartingWith("Tavrin Rig")), joined(c.expected));
        EXPECT_EQ(joined(getMidiOutputService().getDevices()),
                  joined(getMidiOutputService().getDevices()));
    }

    EXPECT_TRUE(portsStartingWith("Tavrin Rig").isEmpty()) << "closed clients are still listed";
}

TEST_F(AlsaSequencer, ListsTheKernelPortsUnderTheirClientNames)
{
    const auto devices = getMidiOutputService().getDevices();
    if (!devices.contains("Virtual Raw MIDI 0-0"))
        GTEST_SKIP() << "no VirMIDI card here; the alsa-vm harness has one";

    juce::StringArray expected{"Midi Through", "Virtual Raw MIDI 0-0", "Virtual Raw MIDI 0-1",
                               "Virtual Raw MIDI 0-2", "Virtual Raw MIDI 0-3"};
    if (serialCaptureFile().isNotEmpty())
        expected.add(serialPortName);

    EXPECT_EQ(joined(devices), joined(expected));

    const auto few = microsecondsPerListing(2000);
    std::vector<std::unique_ptr<TestClient>> extra;
    for (int i = 0; i < 10; ++i)
        extra.push_back(std::make_unique<TestClient>(
            "Tavrin Load", std::vector<TestClient::Port>{{"a", writable}, {"b", writable}}));
    const auto more = getMidiOutputService().getDevices().size();
    std::printf("[ FIGURE ] listing %d ports: %.1f us per call; %d ports: %.1f us per call\n",
                devices.size(), few, more, microsecondsPerListing(2000));
}

TEST_F(AlsaSequencer, ListsTheVirtualSynthAsTheInstrumentUntilItGoes)
{
    {
        VirtualSynth synth({});
        ASSERT_TRUE(synth.isReady());

        SysExController controller;
        const auto index = controller.indexOfDevice("VELKOR KX-7");
        ASSERT_GE(index, 0);
        EXPECT_EQ(getMidiOutputService().getDevices()[index], "Velkor KX-7");
        EXPECT_TRUE(controller.connectDevice("velkor kx-7"));
        EXPECT_EQ(controller.getConnectedName(), "Velkor KX-7");
    }

    EXPECT_FALSE(getMidiOutputService().getDevices().contains("Velkor KX-7"));
}

TEST_F(AlsaSequencer, SendsByteExactToTheVirtualSynth)
{
    const struct
    {
        const char* what;
        size_t size;
        const char* rate;
    } cases[] = {
        {"1 MiB to a receiver as fast as it gets", oneMiB, "0"},
        {"96 KiB to a receiver held to 48 KiB/s", 96 << 10, "49152"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        const auto payload = makeSysEx(c.size, static_cast<juce::int64>(c.size));
        const auto package = writePackageFile(payload);
        VirtualSynth synth({"--output", path("received.syx"), "--rate", c.rate});
        ASSERT_TRUE(synth.isReady());

        const auto run = updtoolSend("--port", "Velkor KX-7", package);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_TRUE(run.output.contains("sent " + juce::String(c.size) + " bytes")) << run.output;

        // The sender is done once the receiver has taken every event, not read every byte.
        EXPECT_EQ(synth.nextLine(),
                  "sysex length=" + juce::String(c.size) + " crc=" + crcText(payload));
        EXPECT_TRUE(fileBytes(juce::File(path("received.syx"))) == payload);
        std::printf("[ FIGURE ] virtual synth, %s: %s", c.what, sentLine(run).toRawUTF8());
    }
}

TEST_F(AlsaSequencer, SendsByteExactThroughVirMidiToItsRawDevice)
{
    const struct
    {
        const char* port;
        const char* device;
        size_t size;
    } cases[] = {
        {"Virtual Raw MIDI 0-0", "hw:0,0", oneMiB},
        {"Virtual Raw MIDI 0-1", "hw:0,1", 16 << 10},
        {"Virtual Raw MIDI 0-2", "hw:0,2", 16 << 10},
        {"Virtual Raw MIDI 0-3", "hw:0,3", 16 << 10},
    };

    if (!getMidiOutputService().getDevices().contains(cases[0].port))
        GTEST_SKIP() << "no VirMIDI card here; the alsa-vm harness has one";

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.port);
        const auto payload = makeSysEx(c.size, static_cast<juce::int64>(c.size) + 1);
        RawMidiReader reader(c.device);
        ASSERT_TRUE(reader.isOpen());

        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(sendThroughController(c.port, payload));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

        EXPECT_TRUE(reader.waitFor(payload.size()) == payload);
        std::printf("[ FIGURE ] %s -> %s: %zu bytes in %.2f s\n", c.port, c.device, c.size,
                    took.count());
    }
}

TEST_F(AlsaSequencer, SendsByteExactOnTheSerialWire)
{
    const juce::File capture(serialCaptureFile());
    if (capture.getFullPathName().isEmpty())
        GTEST_SKIP() << "no serial port capture: run under run-in-vm -u FILE with "
                        "TAVRIN_UART_CAPTURE=FILE";

    const auto index = getMidiOutputService().getDevices().indexOf(serialPortName);
    ASSERT_GE(index, 0);

    const auto payload = makeSysEx(oneMiB, 7);
    const auto before = capture.getSize();
    const auto run = updtoolSend("--index", juce::String(index), writePackageFile(payload));
    EXPECT_EQ(run.exitCode, 0) << run.output;

    // Closing the device throws away what the driver still holds: a send that ends too soon
    // loses the message's tail. The emulated UART's last bytes reach the file a little after the
    // driver has put them out, later still when the host is busy: wait while the capture grows.
    auto wire = withoutPortSelects(fileBytes(capture, before));
    for (int idle = 0; idle < 150 && wire.size() < payload.size(); juce::Thread::sleep(20))
    {
        const auto grown = withoutPortSelects(fileBytes(capture, before));
        idle = grown.size() > wire.size() ? 0 : idle + 1;
        wire = grown;
    }

    EXPECT_EQ(wire.size(), payload.size());
    EXPECT_TRUE(wire == payload);
    std::printf("[ FIGURE ] serial port: %s", sentLine(run).toRawUTF8());
}

TEST_F(AlsaSequencer, ReportsFailureWhenTheReceiverVanishes)
{
    const struct
    {
        const char* what;
        juce::int64 vanishAfter;
    } cases[] = {
        {"early in the message", 64 << 10},
        {"with its last 64 KiB still to come", oneMiB - (64 << 10)},
    };

    const auto payload = makeSysEx(oneMiB, 3);

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        VirtualSynth synth({"--vanish-after", juce::String(c.vanishAfter)});
        ASSERT_TRUE(synth.isReady());

        EXPECT_FALSE(sendThroughController("Velkor KX-7", payload));
        const auto returned = monotonicSeconds();
        const auto printed = synth.nextLine();

        ASSERT_TRUE(printed.startsWith("vanished after")) << printed;
        const auto vanished = printed.fromFirstOccurrenceOf(" at ", false, false).getDoubleValue();
        std::printf("[ FIGURE ] receiver vanished %s: sendMessage returned false %.1f ms later\n",
                    c.what, (returned - vanished) * 1000.0);
    }
}

TEST_F(AlsaSequencer, ReportsFailureWhenTheListedReceiverRefusesTheEvents)
{
    VirtualSynth synth({"--pool", "8"});
    ASSERT_TRUE(synth.isReady());

    EXPECT_FALSE(sendThroughController("Velkor KX-7", makeSysEx(64 << 10, 11)));
    EXPECT_TRUE(getMidiOutputService().getDevices().contains("Velkor KX-7"))
        << "the failure must come from the sending side, not from the port going";
}

TEST_F(AlsaSequencer, RefusesWhatItCannotOpenOrSendAndStopsOnAbort)
{
    auto& service = getMidiOutputService();
    EXPECT_EQ(service.openDevice(-1), nullptr);
    EXPECT_EQ(service.openDevice(service.getDevices().size()), nullptr);

    VirtualSynth synth({"--rate", "8192"});
    ASSERT_TRUE(synth.isReady());
    const auto port = service.openDevice(service.getDevices().indexOf("Velkor KX-7"));
    ASSERT_NE(port, nullptr);

    const auto payload = makeSysEx(256 << 10, 5);
    const auto request = [&payload](MidiDestination destination, juce::uint32 size)
    {
        auto r = std::make_shared<SysExSendRequest>();
        r->destination = destination;
        r->data = payload.data();
        r->bytesToSend = size;
        return r;
    };

    EXPECT_NE(service.sendSysEx(request(port->getDestination() + 1, 256)), 0) << "no such port";
    EXPECT_NE(service.sendSysEx(request(port->getDestination(), 0)), 0) << "nothing to send";

    const auto slow = request(port->getDestination(), static_cast<juce::uint32>(payload.size()));
    ASSERT_EQ(service.sendSysEx(slow), 0);
    EXPECT_NE(service.sendSysEx(request(port->getDestination(), 256)), 0) << "port busy";

    juce::Thread::sleep(200);
    EXPECT_FALSE(slow->complete.load()) << "a 256 KiB send at 8 KiB/s cannot be done yet";
    const auto abortedAt = std::chrono::steady_clock::now();
    slow->complete = true;
    slow->senderReleased.wait();
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - abortedAt;
    std::printf("[ FIGURE ] the sender let go %.2f ms after the abort\n", took.count());

    const auto next = request(port->getDestination(), 256);
    ASSERT_EQ(service.sendSysEx(next), 0) << "the port takes a new send after an abort";
    next->senderReleased.wait();
    EXPECT_TRUE(next->complete.load());
    EXPECT_FALSE(next->failed.load());
}

TEST(NoSequencer, ListsNothingOpensNothingAndSaysNothing)
{
    if (hasSequencer())
        GTEST_SKIP() << "this machine has an ALSA sequencer";

    const auto service = createPlatformMidiOutputService();
    EXPECT_TRUE(service->getDevices().isEmpty());
    EXPECT_EQ(service->openDevice(0), nullptr);

    const juce::uint8 bytes[] = {0xF0, 0x7D, 0xF7};
    auto request = std::make_shared<SysExSendRequest>();
    request->data = bytes;
    request->bytesToSend = sizeof bytes;
    EXPECT_NE(service->sendSysEx(request), 0);

    const auto out = runTool({UPDTOOL_PATH, "ports"}, juce::ChildProcess::wantStdOut);
    EXPECT_EQ(out.exitCode, 0);
    EXPECT_EQ(out.output, "");

    // A debug build of the framework announces its version on stderr; nothing else may appear.
    auto errors = juce::StringArray::fromLines(
        runTool({UPDTOOL_PATH, "ports"}, juce::ChildProcess::wantStdErr).output);
    juce::StringArray unexpected;
    for (const auto& line : errors)
        if (line.isNotEmpty() && !line.startsWith("JUCE v"))
            unexpected.add(line);

    EXPECT_EQ(joined(unexpected), "");
    std::printf("[ FIGURE ] no sequencer: %.2f us per listing\n", microsecondsPerListing(2000));
}

// What a kernel driver still holds when the device buffer is empty goes out at the wire's pace,
// and closing the device would throw it away.
TEST(RawMidiDriverBacklog, LastsAsLongAsTheSlowestWireTheTransferAllows)
{
    using namespace std::chrono;
    const struct
    {
        const char* what;
        double backlog;
        long long taken;
        duration<double> elapsed;
        double seconds;
    } cases[] = {
        {"a small message, all still in the driver: a 5-pin cable's time", 31250, 31250,
         milliseconds(100), 10.0},
        {"nothing seen yet", 512, 0, seconds(0), 512 / 3125.0},
        {"a full driver buffer after 1 MiB at 133 KB/s", 32768, oneMiB, duration<double>(7.68),
         32768 * 7.68 / (oneMiB - 32768)},
        {"a full driver buffer after 1 MiB at the cable's rate", 32768, oneMiB,
         duration<double>(oneMiB / 3125.0), 32768 / 3125.0},
        {"the held-back tail after a fast wire", 512, oneMiB, seconds(1), 512.0 / (oneMiB - 32768)},
    };

    for (const auto& c : cases)
    {
        const auto time =
            timeOnTheWire(c.backlog, c.taken, duration_cast<steady_clock::duration>(c.elapsed));
        EXPECT_NEAR(duration<double>(time).count(), c.seconds, c.seconds * 1e-6) << c.what;
    }
}
