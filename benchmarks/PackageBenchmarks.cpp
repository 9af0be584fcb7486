// SPDX-License-Identifier: GPL-3.0-or-later
// Checksum throughput beside memcpy, package load time beside a plain read of the same file, and
// the peak resident memory of a load, with their ratios summarised after the run; and the
// transfer's figures of TransferBenchmarks.cpp.
#include "TransferBenchmarks.h"
#include "update/Crc16.h"
#include "update/Crc16Internal.h"
#include "update/PackageCheck.h"
#include "update/UpdManager.h"

#include <benchmark/benchmark.h>
#include <juce_events/juce_events.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
constexpr std::int64_t mebibyte = 1 << 20;
constexpr std::int64_t crcSizesMiB[] = {1, 64};
constexpr std::int64_t loadSizesMiB[] = {1, 16, 64};
constexpr std::int64_t peakSizeMiB = 64;
const char* const deviceName = "VELKOR KX-7";
const char* const peakChildFlag = "--peak-memory-of";
const char* const transferOnlyFlag = "--transfer-only"; // first argument: no package benchmarks

// Deterministic bytes that no compressor or predictor finds simple, framed as a SysEx image.
std::vector<std::uint8_t> makePayload(std::int64_t size)
{
    std::vector<std::uint8_t> bytes(static_cast<size_t>(size));
    std::uint64_t state = 0x9e3779b97f4a7c15ull * static_cast<std::uint64_t>(size);
    for (size_t i = 0; i < bytes.size(); i += 8)
    {
        state += 0x9e3779b97f4a7c15ull;
        auto z = state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        z ^= z >> 31;
        std::memcpy(bytes.data() + i, &z, std::min<size_t>(8, bytes.size() - i));
    }
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

const std::vector<std::uint8_t>& payload(std::int64_t size)
{
    static std::map<std::int64_t, std::vector<std::uint8_t>> cache;
    auto& bytes = cache[size];
    if (bytes.empty())
        bytes = makePayload(size);
    return bytes;
}

juce::File executableFolder()
{
    return juce::File::getSpecialLocation(juce::File::currentExecutableFile).getParentDirectory();
}

juce::String packageName(std::int64_t sizeMiB)
{
    return "tavrin-benchmark-" + juce::String(sizeMiB) + "MiB.upd";
}

juce::File packageFile(std::int64_t sizeMiB)
{
    return executableFolder().getChildFile(packageName(sizeMiB));
}

bool writePackages()
{
    for (auto sizeMiB : loadSizesMiB)
    {
        const auto& bytes = payload(sizeMiB * mebibyte);
        const juce::MemoryBlock block(bytes.data(), bytes.size());
        const auto file = packageFile(sizeMiB);
        file.deleteFile();
        juce::FileOutputStream out(file);
        if (!out.openedOk() || !writePackage(out, deviceName, "bench", block))
            return false;
    }
    return true;
}

void deletePackages()
{
    for (auto sizeMiB : loadSizesMiB)
        packageFile(sizeMiB).deleteFile();
}

void setBytes(benchmark::State& state, std::int64_t size)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * size);
}

void memcpyBenchmark(benchmark::State& state, std::int64_t size)
{
    const auto& source = payload(size);
    std::vector<std::uint8_t> target(source.size(), 1); // touched, so no page faults are timed

    for (auto _ : state)
    {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    setBytes(state, size);
}

using CrcUpdate = std::uint16_t (*)(std::uint16_t, const std::uint8_t*, std::int64_t) noexcept;

void crcBenchmark(benchmark::State& state, std::int64_t size, CrcUpdate update)
{
    const auto& bytes = payload(size);
    for (auto _ : state)
        benchmark::DoNotOptimize(update(0, bytes.data(), size));
    setBytes(state, size);
}

void calcCrcBenchmark(benchmark::State& state, std::int64_t size)
{
    const auto& bytes = payload(size);
    const UpdManager manager;
    for (auto _ : state)
        benchmark::DoNotOptimize(manager.calcCRC(bytes.data(), size));
    setBytes(state, size);
}

void loadBenchmark(benchmark::State& state, std::int64_t sizeMiB)
{
    UpdManager manager;
    const auto name = packageName(sizeMiB);

    for (auto _ : state)
    {
        if (!manager.loadUpd(name, deviceName))
        {
            state.SkipWithError("loadUpd failed");
            break;
        }
        // A second load would hold the old message beside the new one; the wizard loads once.
        state.PauseTiming();
        manager.message.reset();
        state.ResumeTiming();
    }
    setBytes(state, sizeMiB * mebibyte);
}

// The message's share of a load: a fresh payload-sized allocation and a copy into it.
void messageCopyBenchmark(benchmark::State& state, std::int64_t sizeMiB)
{
    const auto& bytes = payload(sizeMiB * mebibyte);
    std::unique_ptr<juce::MidiMessage> message;

    for (auto _ : state)
    {
        message =
            std::make_unique<juce::MidiMessage>(bytes.data(), static_cast<int>(bytes.size()), 0.0);
        benchmark::DoNotOptimize(message->getRawData());
        state.PauseTiming();
        message.reset();
        state.ResumeTiming();
    }
    setBytes(state, sizeMiB * mebibyte);
}

// open, size, allocate, one read, free: what any loader must at least do. With checksum, the
// bytes are also read once from user space.
void plainRead(benchmark::State& state, std::int64_t sizeMiB, bool checksum)
{
    const auto path = packageFile(sizeMiB).getFullPathName().toStdString();

    for (auto _ : state)
    {
        const int fd = ::open(path.c_str(), O_RDONLY);
        struct stat info
        {
        };
        if (fd < 0 || ::fstat(fd, &info) != 0)
        {
            state.SkipWithError("cannot open the package");
            break;
        }
        const auto size = static_cast<size_t>(info.st_size);
        std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[size]);
        size_t done = 0;
        for (ssize_t got = 1; done < size && got > 0; done += static_cast<size_t>(got))
            got = ::read(fd, data.get() + done, size - done);
        ::close(fd);
        if (done != size)
        {
            state.SkipWithError("short read");
            break;
        }
        if (checksum)
            benchmark::DoNotOptimize(crc16Xmodem(data.get(), static_cast<std::int64_t>(size)));
        benchmark::DoNotOptimize(data.get());
    }
    setBytes(state, sizeMiB * mebibyte);
}

void plainReadBenchmark(benchmark::State& state, std::int64_t sizeMiB)
{
    plainRead(state, sizeMiB, false);
}

void readAndCrcBenchmark(benchmark::State& state, std::int64_t sizeMiB)
{
    plainRead(state, sizeMiB, true);
}

std::int64_t statusKiB(const char* field)
{
    std::unique_ptr<FILE, int (*)(FILE*)> status(std::fopen("/proc/self/status", "r"), fclose);
    char line[256];
    const auto fieldLength = std::strlen(field);
    while (status && std::fgets(line, sizeof line, status.get()) != nullptr)
        if (std::strncmp(line, field, fieldLength) == 0)
            return std::atoll(line + fieldLength);
    return -1;
}

// Runs in a fresh process, so its high-water mark is one load's and the program's own, nothing
// left over from other benchmarks.
int peakMemoryChild(const char* name)
{
    const auto before = statusKiB("VmRSS:");
    UpdManager manager;
    if (!manager.loadUpd(name, deviceName))
        return 1;
    std::printf("%lld %lld\n", static_cast<long long>(before),
                static_cast<long long>(statusKiB("VmHWM:")));
    return 0;
}

void peakMemoryBenchmark(benchmark::State& state, std::int64_t sizeMiB)
{
    const auto payloadBytes = static_cast<double>(sizeMiB * mebibyte);
    double before = 0, peak = 0;

    for (auto _ : state)
    {
        juce::ChildProcess child;
        const juce::StringArray command{
            juce::File::getSpecialLocation(juce::File::currentExecutableFile).getFullPathName(),
            peakChildFlag, packageName(sizeMiB)};
        if (!child.start(command, juce::ChildProcess::wantStdOut))
        {
            state.SkipWithError("cannot start the child");
            break;
        }
        const auto output = juce::StringArray::fromTokens(child.readAllProcessOutput(), false);
        if (child.getExitCode() != 0 || output.size() < 2)
        {
            state.SkipWithError("the child's load failed");
            break;
        }
        before = output[0].getDoubleValue() * 1024;
        peak = output[1].getDoubleValue() * 1024;
    }

    const auto limit = 2 * payloadBytes + 10e6;
    state.counters["payload_MiB"] = payloadBytes / mebibyte;
    state.counters["rss_before_MiB"] = before / mebibyte;
    state.counters["peak_MiB"] = peak / mebibyte;
    state.counters["peak_over_payload"] = peak / payloadBytes;
    state.counters["limit_MiB"] = limit / mebibyte;
    state.counters["peak_over_limit"] = peak / limit;
}

juce::String sizeLabel(std::int64_t sizeMiB)
{
    return juce::String(sizeMiB) + "MiB";
}

void registerBenchmarks()
{
    const auto name = [](const char* what, std::int64_t sizeMiB)
    { return (juce::String(what) + "/" + sizeLabel(sizeMiB)).toStdString(); };

    for (auto sizeMiB : crcSizesMiB)
    {
        const auto size = sizeMiB * mebibyte;
        benchmark::RegisterBenchmark(name("memcpy", sizeMiB).c_str(), memcpyBenchmark, size)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(name("calcCRC", sizeMiB).c_str(), calcCrcBenchmark, size)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(name("crc_table", sizeMiB).c_str(), crcBenchmark, size,
                                     crc16detail::updateTable)
            ->Unit(benchmark::kMicrosecond);
        // Folding alone, without the period reduction that calcCRC adds on long ranges.
        if (crc16detail::hasFolding())
            benchmark::RegisterBenchmark(name("crc_folding", sizeMiB).c_str(), crcBenchmark, size,
                                         crc16detail::updateFolding)
                ->Unit(benchmark::kMicrosecond);
    }

    for (auto sizeMiB : loadSizesMiB)
    {
        benchmark::RegisterBenchmark(name("loadUpd", sizeMiB).c_str(), loadBenchmark, sizeMiB)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(name("plain_read", sizeMiB).c_str(), plainReadBenchmark,
                                     sizeMiB)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(name("read_crc", sizeMiB).c_str(), readAndCrcBenchmark,
                                     sizeMiB)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(name("message_copy", sizeMiB).c_str(), messageCopyBenchmark,
                                     sizeMiB)
            ->Unit(benchmark::kMillisecond);
    }

    benchmark::RegisterBenchmark(name("peak_memory", peakSizeMiB).c_str(), peakMemoryBenchmark,
                                 peakSizeMiB)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
}

// Keeps, for each benchmark, its median when repetitions were asked for, else its single run,
// so that the ratios can be printed after the usual output.
class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
        {
            const auto isMedian =
                run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Iteration || isMedian)
            {
                // The function name, as registered: "loadUpd/16MiB", without added suffixes.
                auto& kept = results[run.run_name.function_name];
                if (isMedian || !kept.fromMedian)
                    kept = {run, isMedian};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printSummary() const
    {
        std::printf("\nSummary (medians where repeated; CPU time, which includes the kernel's)\n");

        for (auto sizeMiB : crcSizesMiB)
        {
            const auto copy = bytesPerSecond("memcpy", sizeMiB);
            const auto crc = bytesPerSecond("calcCRC", sizeMiB);
            if (copy > 0 && crc > 0)
                std::printf("  calcCRC %4lld MiB: %6.2f GB/s, memcpy %6.2f GB/s, memcpy/calcCRC "
                            "%5.2f (goal <= 2)\n",
                            static_cast<long long>(sizeMiB), crc / 1e9, copy / 1e9, copy / crc);
        }

        for (auto sizeMiB : loadSizesMiB)
        {
            const auto load = seconds("loadUpd", sizeMiB);
            const auto read = seconds("plain_read", sizeMiB);
            const auto copy = seconds("message_copy", sizeMiB);
            if (load > 0 && read > 0)
                std::printf("  loadUpd %4lld MiB: %8.3f ms, plain read %8.3f ms, loadUpd/read "
                            "%5.2f (goal <= 1.5); read + CRC %8.3f ms, message copy %8.3f ms\n",
                            static_cast<long long>(sizeMiB), load * 1e3, read * 1e3, load / read,
                            seconds("read_crc", sizeMiB) * 1e3, copy * 1e3);
        }

        if (const auto* peak = find("peak_memory", peakSizeMiB))
        {
            const auto counter = [peak](const char* key)
            {
                const auto it = peak->counters.find(key);
                return it == peak->counters.end() ? 0.0 : it->second.value;
            };
            std::printf("  peak RSS of a %lld MiB load: %.1f MiB (%.1f before loading), limit "
                        "2 x payload + 10 MB = %.1f MiB, peak/limit %.2f (goal <= 1)\n",
                        static_cast<long long>(peakSizeMiB), counter("peak_MiB"),
                        counter("rss_before_MiB"), counter("limit_MiB"),
                        counter("peak_over_limit"));
        }

        printTransferSummary();
    }

private:
    struct Kept
    {
        Run run;
        bool fromMedian = false;
    };

    void printTransferSummary() const
    {
        using namespace transferBenchmarks;

        for (const char* service : {"simulated", "alsa"})
            for (const auto* ports : {"0ports", "4ports", "32ports", "present"})
                if (const auto* run =
                        findNamed(std::string("port_listing_") + service + "/" + ports))
                {
                    const auto micros = run->GetAdjustedCPUTime() /
                                        benchmark::GetTimeUnitMultiplier(run->time_unit) * 1e6;
                    std::printf("  port listing, %-9s %2.0f ports: %7.3f us, listing/%g us %5.3f "
                                "(goal <= 1: 2 %% of the 1 ms poll)\n",
                                service, counter(*run, "ports"), micros, listingBudgetMicroseconds,
                                micros / listingBudgetMicroseconds);
                }

        if (const auto* run = findNamed("poll_cpu_share/sleep_only"))
            std::printf("  usleep(1000) alone: %.2f %% of a core, %.1f us per pass, the floor of a "
                        "1 ms poll\n",
                        counter(*run, "cpu_share") * 100, counter(*run, "cpu_us_per_pass"));

        for (const char* service : {"simulated_4ports", "alsa_virtual_synth"})
            if (const auto* run = findNamed(std::string("poll_cpu_share/") + service))
                std::printf("  presence poll, %s: %.2f %% of a core over a %.1f s transfer "
                            "(1 s windows: median %.2f %%, max %.2f %%), share/2 %% %4.2f "
                            "(goal <= 1)\n",
                            service, counter(*run, "cpu_share") * 100, counter(*run, "transfer_s"),
                            counter(*run, "median_1s_share") * 100,
                            counter(*run, "max_1s_share") * 100,
                            counter(*run, "cpu_share") / pollShareGoal);

        if (const auto* run = findNamed("message_loop/progress_page"))
            std::printf("  message loop during a %.1f s transfer: longest gap between 16 ms ticks "
                        "%.1f ms (99th percentile %.1f, idle longest %.1f), longest/50 ms %4.2f "
                        "(goal < 1)\n",
                        counter(*run, "transfer_s"), counter(*run, "max_gap_ms"),
                        counter(*run, "p99_gap_ms"), counter(*run, "idle_max_gap_ms"),
                        counter(*run, "max_gap_ms") / longestGapGoalMilliseconds);
    }

    static double counter(const Run& run, const char* key)
    {
        const auto it = run.counters.find(key);
        return it == run.counters.end() ? 0.0 : it->second.value;
    }

    const Run* findNamed(const std::string& name) const
    {
        const auto it = results.find(name);
        return it == results.end() || it->second.run.error_occurred ? nullptr : &it->second.run;
    }

    const Run* find(const char* what, std::int64_t sizeMiB) const
    {
        const auto it = results.find(std::string(what) + "/" + sizeLabel(sizeMiB).toStdString());
        return it == results.end() || it->second.run.error_occurred ? nullptr : &it->second.run;
    }

    double seconds(const char* what, std::int64_t sizeMiB) const
    {
        const auto* run = find(what, sizeMiB);
        return run == nullptr
                   ? 0
                   : run->GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run->time_unit);
    }

    double bytesPerSecond(const char* what, std::int64_t sizeMiB) const
    {
        const auto time = seconds(what, sizeMiB);
        return time > 0 ? static_cast<double>(sizeMiB * mebibyte) / time : 0;
    }

    std::map<std::string, Kept> results;
};
} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], peakChildFlag) == 0)
        return peakMemoryChild(argv[2]);

    // In the emulated VM, writing and checksumming 81 MiB of packages would take longer than the
    // transfer figures wanted there.
    const auto transferOnly = argc > 1 && std::strcmp(argv[1], transferOnlyFlag) == 0;
    if (transferOnly)
    {
        argv[1] = argv[0];
        --argc;
        ++argv;
    }

    // A fixed threshold stops glibc from moving large blocks to the heap after the first free:
    // every payload-sized buffer is then freshly mapped, as in the wizard's one load per run.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    // The Progress page's benchmark runs the message loop on this thread.
    const juce::ScopedJuceInitialiser_GUI framework;

    if (!transferOnly)
    {
        if (!writePackages())
        {
            std::fprintf(stderr, "cannot write the benchmark packages beside the executable\n");
            return 1;
        }

        std::printf("CRC path picked: %s\n",
                    crc16detail::hasFolding() ? "carry-less multiplication folding" : "tables");
        registerBenchmarks();
    }
    registerTransferBenchmarks();
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printSummary();
    benchmark::Shutdown();

    if (!transferOnly)
        deletePackages();
    return 0;
}
