// SPDX-License-Identifier: GPL-3.0-or-later
// A package that declares more payload than it holds must be refused before anything of the
// declared size is allocated. This executable interposes the C allocator to see every request.

#include "TestPackages.h"
#include "update/PackageCheck.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

extern "C"
{
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);

static std::atomic<size_t> largestRequest{0};

static void note(size_t size)
{
    auto seen = largestRequest.load();
    while (size > seen && !largestRequest.compare_exchange_weak(seen, size))
    {
    }
}

void* malloc(size_t size)
{
    note(size);
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size)
{
    note(count * size);
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size)
{
    note(size);
    return __libc_realloc(pointer, size);
}
}

namespace
{
// A stream that hides its length, as a pipe or a socket would.
class UnknownLengthStream final : public juce::InputStream
{
public:
    explicit UnknownLengthStream(const juce::MemoryBlock& bytes) : inner(bytes, false) {}
    juce::int64 getTotalLength() override { return -1; }
    bool isExhausted() override { return inner.isExhausted(); }
    int read(void* destination, int size) override { return inner.read(destination, size); }
    juce::int64 getPosition() override { return inner.getPosition(); }
    bool setPosition(juce::int64 position) override { return inner.setPosition(position); }

private:
    juce::MemoryInputStream inner;
};
} // namespace

TEST(Allocation, AnOverstatedLengthIsRefusedWithoutAllocatingIt)
{
    const juce::uint32 declaredLengths[] = {9, 1u << 20, 0x7fffffffu}; // 9: one beyond the file

    for (const auto declared : declaredLengths)
    {
        PackageBytes package;
        package.lengthBytes = PackageBytes::littleEndian(declared);
        const auto bytes = package.build();

        for (const bool lengthKnown : {true, false})
        {
            juce::MemoryInputStream known(bytes, false);
            UnknownLengthStream unknown(bytes);
            juce::InputStream& stream = lengthKnown ? static_cast<juce::InputStream&>(known) : unknown;

            largestRequest = 0;
            const auto result = checkPackage(stream, "VELKOR KX-7");
            const auto largest = largestRequest.load();

            EXPECT_EQ(result.fault, PackageFault::shortPayload) << declared;
            // A stream of unknown length is read in 64 KiB steps: never the declared size at once.
            // The slack covers the allocator's bookkeeping in juce::MemoryBlock.
            constexpr size_t slack = 64;
            EXPECT_LE(largest, (lengthKnown ? bytes.getSize() : size_t{1} << 16) + slack)
                << "declared " << declared << (lengthKnown ? ", length known" : ", length unknown");
            std::printf("declared %u bytes, %s: largest allocation %zu bytes\n", declared,
                        lengthKnown ? "length known" : "length unknown", largest);
        }
    }
}

TEST(Allocation, AValidPackageAllocatesItsPayloadOnce)
{
    PackageBytes package;
    package.payload.assign(100000, 0x11);
    package.payload.front() = 0xF0;
    package.payload.back() = 0xF7;
    juce::MemoryOutputStream out;
    ASSERT_TRUE(writePackage(out, "VELKOR KX-7", "1.00",
                             juce::MemoryBlock(package.payload.data(), package.payload.size())));

    juce::MemoryInputStream stream(out.getMemoryBlock(), false);
    largestRequest = 0;
    const auto result = checkPackage(stream, "VELKOR KX-7");

    EXPECT_TRUE(result.isValid());
    EXPECT_EQ(largestRequest.load(), package.payload.size());
}
