// SPDX-License-Identifier: GPL-3.0-or-later
// The presence poll lists every port each millisecond for as long as a transfer lasts, on the
// transfer thread, while the message thread animates the busy bar. These benchmarks measure one
// listing (simulated service and, where a sequencer exists, the ALSA one), the poll's CPU share
// of a core over a transfer paced at the 5-pin cable's rate, and the message loop's longest
// pause while the Progress page sends.
#include "TransferBenchmarks.h"

#include "lookandfeel/CustomLookAndFeel.h"
#include "midi/AlsaSequencer.h"
#include "midi/SysExController.h"
#include "pages/ProgressFragment.h"
#include "tests/SimulatedMidi.h"
#include "text/TextLoader.h"
#include "update/UpdManager.h"

#include <alsa/asoundlib.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <numeric>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace transferBenchmarks;

namespace
{
const char* const synthName = "Velkor KX-7";
constexpr double dinBytesPerSecond = 3125;
// Ten seconds at the cable's rate: the transfer whose poll share is measured.
constexpr juce::int64 pollShareBytes = 31250;
// Five seconds: enough ticks of a 16 ms timer for a 99th percentile.
constexpr juce::int64 messageLoopBytes = 15625;
constexpr int tickMilliseconds = 16;
constexpr double sleepOnlySeconds = 5;
const char* const noSequencer =
    "no ALSA sequencer here (/dev/snd/seq); the alsa-vm harness has one";

double secondsOf(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

juce::String otherPortName(int n)
{
    return "MIDI Interface Port " + juce::String(n);
}

void simulatedListing(benchmark::State& state, int ports)
{
    ScopedSimulatedMidi simulated;
    for (int i = 1; i <= ports; ++i)
        simulated.midi.addPort(otherPortName(i));

    for (auto _ : state)
    {
        // Through the service slot and with the list's destruction, as the poll pays for both.
        auto names = getMidiOutputService().getDevices();
        benchmark::DoNotOptimize(names);
    }
    state.counters["ports"] = ports;
}

// Writable ports of a sequencer client of our own, which the platform service lists like any
// other program's.
class ExtraSequencerPorts
{
public:
    explicit ExtraSequencerPorts(int count)
    {
        if (count == 0 || snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0)
            return;
        snd_seq_set_client_name(seq, "tavrin-benchmark");
        for (int i = 1; i <= count; ++i)
            if (snd_seq_create_simple_port(seq, otherPortName(i).toRawUTF8(),
                                           SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                           SND_SEQ_PORT_TYPE_MIDI_GENERIC |
                                               SND_SEQ_PORT_TYPE_APPLICATION) >= 0)
                ++created;
    }

    ~ExtraSequencerPorts()
    {
        if (seq != nullptr)
            snd_seq_close(seq);
    }

    int count() const { return created; }

private:
    snd_seq_t* seq = nullptr;
    int created = 0;

    JUCE_DECLARE_NON_COPYABLE(ExtraSequencerPorts)
};

// ports < 0: the ports the sequencer lists anyway.
void platformListing(benchmark::State& state, int ports)
{
    if (!hasSequencer())
    {
        state.SkipWithError(noSequencer);
        return;
    }

    auto& service = getMidiOutputService();
    const auto present = service.getDevices().size();
    const auto extra = ports < 0 ? 0 : ports - present;
    if (extra < 0)
    {
        const auto why = "the sequencer already lists " + juce::String(present) + " ports";
        state.SkipWithError(why.toRawUTF8());
        return;
    }

    ExtraSequencerPorts added(extra);
    // The service lists afresh only once the sequencer has announced the new ports.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (service.getDevices().size() != present + extra && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (added.count() != extra || service.getDevices().size() != present + extra)
    {
        state.SkipWithError("cannot add sequencer ports");
        return;
    }

    for (auto _ : state)
    {
        auto names = service.getDevices();
        benchmark::DoNotOptimize(names);
    }
    state.counters["ports"] = present + extra;
}

struct Sample
{
    double wall, cpu;
};

// Sends the message with the controller on this thread and measures this thread's CPU time,
// which is the presence poll's: the service sends on a thread of its own.
void measurePollShare(benchmark::State& state, SysExController& controller,
                      juce::MidiMessage& message, const std::function<int()>& listings)
{
    clockid_t pollClock{};
    if (pthread_getcpuclockid(pthread_self(), &pollClock) != 0)
    {
        state.SkipWithError("no CPU clock for this thread");
        return;
    }

    for (auto _ : state)
    {
        const auto listingsBefore = listings();
        std::vector<Sample> samples{{secondsOf(CLOCK_MONOTONIC), secondsOf(pollClock)}};
        std::atomic<bool> sending{true};

        // Per-second shares, read from beside the poll so that the sampling costs it nothing.
        std::thread sampler(
            [&]
            {
                auto due = samples.front().wall + 1;
                while (sending.load())
                {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    if (const auto now = secondsOf(CLOCK_MONOTONIC); now >= due && sending.load())
                    {
                        samples.push_back({now, secondsOf(pollClock)});
                        due += 1;
                    }
                }
            });

        const auto sent = controller.sendMessage(message);
        const Sample end{secondsOf(CLOCK_MONOTONIC), secondsOf(pollClock)};
        sending = false;
        sampler.join();

        if (!sent)
        {
            state.SkipWithError("the send failed");
            return;
        }

        const auto wall = end.wall - samples.front().wall;
        const auto cpu = end.cpu - samples.front().cpu;
        std::vector<double> windowShares;
        for (size_t i = 1; i < samples.size(); ++i)
            windowShares.push_back((samples[i].cpu - samples[i - 1].cpu) /
                                   (samples[i].wall - samples[i - 1].wall));
        const auto passes = listings() - listingsBefore;

        state.SetIterationTime(wall);
        state.counters["transfer_s"] = wall;
        state.counters["bytes_per_s"] = message.getRawDataSize() / wall;
        state.counters["poll_cpu_s"] = cpu;
        state.counters["cpu_share"] = cpu / wall;
        state.counters["median_1s_share"] = percentile(windowShares, 0.5);
        state.counters["max_1s_share"] = percentile(windowShares, 1.0);
        if (passes > 0)
        {
            state.counters["passes_per_s"] = passes / wall;
            state.counters["cpu_us_per_pass"] = cpu / passes * 1e6;
        }
    }
}

// The poll's pause alone, with no listing: the floor of any poll that sleeps 1 ms a pass.
void sleepOnlyShare(benchmark::State& state)
{
    for (auto _ : state)
    {
        const auto startWall = secondsOf(CLOCK_MONOTONIC);
        const auto startCpu = secondsOf(CLOCK_THREAD_CPUTIME_ID);
        int passes = 0;
        for (; secondsOf(CLOCK_MONOTONIC) - startWall < sleepOnlySeconds; ++passes)
            usleep(1000);
        const auto wall = secondsOf(CLOCK_MONOTONIC) - startWall;
        const auto cpu = secondsOf(CLOCK_THREAD_CPUTIME_ID) - startCpu;

        state.SetIterationTime(wall);
        state.counters["cpu_share"] = cpu / wall;
        state.counters["passes_per_s"] = passes / wall;
        state.counters["cpu_us_per_pass"] = cpu / passes * 1e6;
    }
}

void simulatedPollShare(benchmark::State& state, int ports)
{
    ScopedSimulatedMidi simulated;
    auto& midi = simulated.midi;
    midi.addPort(synthName);
    for (int i = 2; i <= ports; ++i)
        midi.addPort(otherPortName(i));
    midi.setBytesPerSecond(dinBytesPerSecond);

    SysExController controller;
    auto message = messageOf(sysExBytes(pollShareBytes));
    if (!controller.connectDevice(synthName))
    {
        state.SkipWithError("cannot open the simulated port");
        return;
    }

    measurePollShare(state, controller, message, [&midi] { return midi.listingCount(); });
    state.counters["ports"] = ports;
}

// Against a receiver started beforehand (tools/virtual-synth --rate 3125), as in the VM.
void platformPollShare(benchmark::State& state)
{
    if (!hasSequencer())
    {
        state.SkipWithError(noSequencer);
        return;
    }

    SysExController controller;
    auto message = messageOf(sysExBytes(pollShareBytes));
    if (!controller.connectDevice(synthName))
    {
        state.SkipWithError("no port named \"Velkor KX-7\": start tools/virtual-synth --rate 3125");
        return;
    }

    measurePollShare(state, controller, message, [] { return 0; });
    state.counters["ports"] = getMidiOutputService().getDevices().size();
}

// The ticks of a timer as frequent as the screen's refresh: timers are what animate the busy
// bar, and a tick that comes late is a frame the bar skips.
class TickGaps final : public juce::Timer
{
public:
    void timerCallback() override
    {
        const auto now = juce::Time::getMillisecondCounterHiRes();
        if (last > 0)
            gaps.push_back(now - last);
        last = now;
    }

    std::vector<double> takeGaps()
    {
        last = 0;
        return std::exchange(gaps, {});
    }

private:
    double last = 0;
    std::vector<double> gaps;
};

void messageLoopDuringTransfer(benchmark::State& state)
{
    ScopedSimulatedMidi simulated;
    const auto port = simulated.midi.addPort(synthName);
    simulated.midi.setBytesPerSecond(dinBytesPerSecond);

    CustomLookAndFeel lookAndFeel;
    juce::LookAndFeel::setDefaultLookAndFeel(&lookAndFeel);
    TextLoader::getInstance()->setLocale(0);
    auto* manager = UpdManager::getInstance();
    auto* loop = juce::MessageManager::getInstance();

    // The wizard has built pages before this one: fonts and texts are loaded by then. Without a
    // message this page's transfer fails at once.
    std::make_unique<ProgressFragment>().reset();
    loop->runDispatchLoopUntil(100);

    const auto bytes = sysExBytes(messageLoopBytes);
    manager->message = std::make_unique<juce::MidiMessage>(messageOf(bytes));
    TickGaps ticks;
    ticks.startTimer(tickMilliseconds);

    // The same timer on an idle loop: what this shared machine's scheduler alone adds.
    loop->runDispatchLoopUntil(1000);
    const auto idle = ticks.takeGaps();

    for (auto _ : state)
    {
        if (!manager->controller->connectDevice(synthName))
        {
            state.SkipWithError("cannot open the simulated port");
            break;
        }

        const auto start = juce::Time::getMillisecondCounterHiRes();
        ticks.takeGaps();
        // Built on the message thread, as the wizard does; its transfer starts at once.
        auto page = std::make_unique<ProgressFragment>();
        while (page->isThreadRunning())
            loop->runDispatchLoopUntil(10);
        const auto wall = (juce::Time::getMillisecondCounterHiRes() - start) / 1000;
        const auto gaps = ticks.takeGaps();
        const auto longest = std::max_element(gaps.begin(), gaps.end());
        page.reset();

        if (simulated.midi.receivedBy(port) != bytes)
        {
            state.SkipWithError("the transfer did not deliver the message");
            break;
        }

        state.SetIterationTime(wall);
        state.counters["transfer_s"] = wall;
        state.counters["ticks"] = static_cast<double>(gaps.size());
        state.counters["max_gap_ms"] = percentile(gaps, 1.0);
        state.counters["p99_gap_ms"] = percentile(gaps, 0.99);
        state.counters["median_gap_ms"] = percentile(gaps, 0.5);
        // Where in the transfer the longest gap ended: at the start is the page's construction.
        if (longest != gaps.end())
            state.counters["max_gap_end_s"] =
                std::accumulate(gaps.begin(), longest + 1, 0.0) / 1000;
        state.counters["idle_max_gap_ms"] = percentile(idle, 1.0);
        state.counters["idle_p99_gap_ms"] = percentile(idle, 0.99);
    }

    ticks.stopTimer();
    UpdManager::deleteInstance();
    TextLoader::deleteInstance();
    juce::LookAndFeel::setDefaultLookAndFeel(nullptr);
}
// One long transfer each: a share over ten seconds is already an average of thousands of passes.
void asOneLongRun(benchmark::internal::Benchmark* run)
{
    run->UseManualTime()->Iterations(1)->Repetitions(1)->Unit(benchmark::kSecond);
}
} // namespace

void registerTransferBenchmarks()
{
    for (const auto ports : listingPortCounts)
    {
        const auto suffix = "/" + std::to_string(ports) + "ports";
        benchmark::RegisterBenchmark(("port_listing_simulated" + suffix).c_str(), simulatedListing,
                                     ports)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("port_listing_alsa" + suffix).c_str(), platformListing, ports)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("port_listing_alsa/present", platformListing, -1)
        ->Unit(benchmark::kMicrosecond);

    asOneLongRun(
        benchmark::RegisterBenchmark("poll_cpu_share/simulated_4ports", simulatedPollShare, 4));
    asOneLongRun(benchmark::RegisterBenchmark("poll_cpu_share/sleep_only", sleepOnlyShare));
    asOneLongRun(
        benchmark::RegisterBenchmark("poll_cpu_share/alsa_virtual_synth", platformPollShare));
    asOneLongRun(
        benchmark::RegisterBenchmark("message_loop/progress_page", messageLoopDuringTransfer));
}
