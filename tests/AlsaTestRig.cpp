// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlsaTestRig.h"

#include <poll.h>

juce::String serialCaptureFile()
{
    return juce::SystemStats::getEnvironmentVariable("TAVRIN_UART_CAPTURE", {});
}

std::vector<juce::uint8> makeSysEx(size_t size, juce::int64 seed)
{
    juce::Random random(seed);
    std::vector<juce::uint8> bytes(size);

    for (auto& byte : bytes)
        byte = static_cast<juce::uint8>(random.nextInt(128));

    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

std::vector<juce::uint8> withoutPortSelects(const std::vector<juce::uint8>& wire)
{
    std::vector<juce::uint8> bytes;
    bytes.reserve(wire.size());

    for (size_t i = 0; i < wire.size(); ++i)
    {
        if (wire[i] == 0xF5 && i + 1 < wire.size() && wire[i + 1] == 0x01)
            ++i;
        else
            bytes.push_back(wire[i]);
    }

    return bytes;
}

double monotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

ToolRun runTool(const juce::StringArray& command, int streams)
{
    juce::ChildProcess process;
    if (!process.start(command, streams))
        return {};

    ToolRun run;
    run.output = process.readAllProcessOutput();
    process.waitForProcessToFinish(60000);
    run.exitCode = static_cast<int>(process.getExitCode());
    return run;
}

VirtualSynth::VirtualSynth(const juce::StringArray& options)
{
    juce::StringArray command{VIRTUAL_SYNTH_PATH, "--timeout", "30"};
    command.addArray(options);

    if (process.start(command, juce::ChildProcess::wantStdOut))
        ready = nextLine().startsWith("ready");
}

VirtualSynth::~VirtualSynth()
{
    // The client leaves the sequencer as the process exits, before its parent can reap it.
    if (process.isRunning())
        process.kill();

    process.waitForProcessToFinish(5000);
}

juce::String VirtualSynth::nextLine()
{
    // Byte by byte: a bigger read would wait for more than one line.
    juce::String line;
    char c = 0;
    while (process.readProcessOutput(&c, 1) == 1 && c != '\n')
        line += c;

    return line;
}

TestClient::TestClient(const char* name, const std::vector<Port>& ports)
{
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0)
    {
        seq = nullptr;
        return;
    }

    snd_seq_set_client_name(seq, name);
    for (const auto& port : ports)
        snd_seq_create_simple_port(seq, port.name, port.capabilities,
                                   SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
}

TestClient::~TestClient()
{
    if (seq != nullptr)
        snd_seq_close(seq);
}

RawMidiReader::RawMidiReader(const char* device)
{
    if (snd_rawmidi_open(&input, nullptr, device, SND_RAWMIDI_NONBLOCK) < 0)
    {
        input = nullptr;
        return;
    }

    // The largest buffer the kernel allows, so a busy test thread loses nothing.
    snd_rawmidi_params_t* params = nullptr;
    snd_rawmidi_params_alloca(&params);
    snd_rawmidi_params_current(input, params);
    snd_rawmidi_params_set_buffer_size(input, params, 1 << 20);
    snd_rawmidi_params(input, params);

    reader = std::thread([this] { read(); });
}

RawMidiReader::~RawMidiReader()
{
    stopping = true;
    if (reader.joinable())
        reader.join();

    if (input != nullptr)
        snd_rawmidi_close(input);
}

void RawMidiReader::read()
{
    pollfd descriptors[4];
    const auto count = snd_rawmidi_poll_descriptors(input, descriptors, 4);
    juce::uint8 chunk[4096];

    while (!stopping.load())
    {
        poll(descriptors, static_cast<nfds_t>(count), 10);
        const auto got = snd_rawmidi_read(input, chunk, sizeof chunk);
        if (got > 0)
        {
            bytes.insert(bytes.end(), chunk, chunk + got);
            received = bytes.size();
        }
    }
}

std::vector<juce::uint8> RawMidiReader::waitFor(size_t count)
{
    auto last = received.load();
    auto lastChange = juce::Time::getMillisecondCounter();

    while (received.load() < count && juce::Time::getMillisecondCounter() - lastChange < 3000)
    {
        juce::Thread::sleep(5);
        if (received.load() != last)
        {
            last = received.load();
            lastChange = juce::Time::getMillisecondCounter();
        }
    }

    stopping = true;
    if (reader.joinable())
        reader.join();

    return bytes;
}
