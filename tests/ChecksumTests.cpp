// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/Crc16.h"
#include "update/Crc16Internal.h"
#include "update/UpdManager.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace
{
// The augmented-message bitwise form: a 24-bit register, each byte shifted in below the CRC and
// 16 zero bits fed behind the message. Independent of the table and folding code under test.
class BitwiseCrc
{
public:
    void feed(juce::uint8 byte)
    {
        r |= byte;
        for (int bit = 0; bit < 8; ++bit)
            shift(r);
    }

    juce::uint16 value() const
    {
        auto augmented = r;
        for (int bit = 0; bit < 16; ++bit)
            shift(augmented);
        return static_cast<juce::uint16>((augmented >> 8) & 0xffffu);
    }

private:
    static void shift(juce::uint32& reg)
    {
        reg <<= 1;
        if (reg & 0x1000000u)
            reg ^= 0x1102100u;
    }

    juce::uint32 r = 0;
};

juce::uint16 referenceCrc(const juce::uint8* data, size_t length)
{
    BitwiseCrc crc;
    for (size_t i = 0; i < length; ++i)
        crc.feed(data[i]);
    return crc.value();
}

// The reference CRC of every prefix of data: element n belongs to the first n bytes.
std::vector<juce::uint16> referencePrefixes(const juce::uint8* data, size_t length)
{
    std::vector<juce::uint16> prefixes{0};
    BitwiseCrc crc;
    for (size_t i = 0; i < length; ++i)
    {
        crc.feed(data[i]);
        prefixes.push_back(crc.value());
    }
    return prefixes;
}

std::vector<juce::uint8> randomBytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<juce::uint8> bytes(size);
    for (auto& b : bytes)
        b = static_cast<juce::uint8>(random());
    return bytes;
}

juce::uint16 crcOf(const std::vector<juce::uint8>& bytes)
{
    return UpdManager().calcCRC(bytes.data(), static_cast<juce::int64>(bytes.size()));
}
} // namespace

TEST(Checksum, WorkedValues)
{
    const std::string digits = "123456789";
    const std::string letters = "abc";

    const struct
    {
        std::vector<juce::uint8> input;
        juce::uint16 expected;
    } cases[] = {
        {{}, 0x0000},
        {{0x00}, 0x0000},
        {{0x01}, 0x1021},
        {{0xFF}, 0x1EF0},
        {{letters.begin(), letters.end()}, 0x9DD6},
        {{digits.begin(), digits.end()}, 0x31C3},
        {{0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7}, 0x7F3F},
    };

    for (const auto& c : cases)
        EXPECT_EQ(crcOf(c.input), c.expected) << c.input.size() << " bytes";
}

TEST(Checksum, NonPositiveLengthReadsNothing)
{
    EXPECT_EQ(UpdManager().calcCRC(nullptr, 0), 0);
    EXPECT_EQ(UpdManager().calcCRC(nullptr, -5), 0);
}

TEST(Checksum, ZeroBytesOfAnyLengthGiveZero)
{
    for (size_t length : {1u, 7u, 8u, 9u, 4096u, 200000u})
        EXPECT_EQ(crcOf(std::vector<juce::uint8>(length, 0)), 0) << length;
}

TEST(Checksum, AgreesWithBitwiseFormOnLongPayloads)
{
    // Past the lengths where the fast code changes strategy, through the manager's entry point.
    const auto bytes = randomBytes(3 * 32767 + 11, 5);
    const UpdManager manager;

    for (size_t length : {size_t{129}, size_t{4097}, size_t{65535}, bytes.size()})
        EXPECT_EQ(manager.calcCRC(bytes.data(), static_cast<juce::int64>(length)),
                  referenceCrc(bytes.data(), length))
            << length;
}

// Every implementation the dispatcher can pick, and the dispatcher itself, against the bitwise
// form. The folding path is exercised wherever the processor has it, whatever is dispatched.
namespace
{
struct CrcPath
{
    const char* name;
    std::uint16_t (*update)(std::uint16_t, const std::uint8_t*, std::int64_t) noexcept;
    bool (*available)() noexcept;
};

void PrintTo(const CrcPath& path, std::ostream* out)
{
    *out << path.name;
}

bool always() noexcept
{
    return true;
}

class ChecksumPath : public ::testing::TestWithParam<CrcPath>
{
protected:
    void SetUp() override
    {
        if (!GetParam().available())
            GTEST_SKIP() << GetParam().name << " needs PCLMULQDQ and SSE4.1";
    }

    juce::uint16 crc(std::uint16_t initial, const juce::uint8* data, size_t length) const
    {
        return GetParam().update(initial, data, static_cast<std::int64_t>(length));
    }
};

// x^32767 = 1 modulo the polynomial: lengths around multiples of it change the fast path's
// head and where an incoming CRC lands.
constexpr size_t period = 32767;
} // namespace

TEST_P(ChecksumPath, AgreesAtEveryAlignmentAcrossFoldingBlocks)
{
    constexpr size_t longest = 4200;
    const auto buffer = randomBytes(longest + 16, 7);

    for (size_t offset = 0; offset < 16; ++offset)
    {
        const auto* data = buffer.data() + offset;
        const auto expected = referencePrefixes(data, longest);

        // Every length through four strides of eight 16-byte blocks, then odd steps and the
        // lengths either side of stride multiples.
        std::vector<size_t> lengths;
        for (size_t length = 0; length <= 4 * 128 + 17; ++length)
            lengths.push_back(length);
        for (size_t length = 530; length <= longest; length += 1 + length / 16)
            lengths.push_back(length);
        for (size_t length : {1023u, 1024u, 1025u, 4095u, 4096u, 4097u, 4111u, 4112u, 4113u})
            lengths.push_back(length);

        for (auto length : lengths)
            ASSERT_EQ(crc(0, data, length), expected[length])
                << "offset " << offset << ", length " << length;
    }
}

TEST_P(ChecksumPath, AgreesOnLengthsAroundThePeriod)
{
    const size_t longest = 5 * period + 300;
    const auto buffer = randomBytes(longest + 16, 11);

    for (size_t offset : {0u, 1u, 8u, 15u})
    {
        const auto* data = buffer.data() + offset;
        const auto expected = referencePrefixes(data, longest);

        for (size_t length :
             {2 * period - 1, 2 * period, 2 * period + 1, 2 * period + 2, 3 * period - 1,
              3 * period + 129, 4 * period + 17, 5 * period, 5 * period + 3, longest})
            ASSERT_EQ(crc(0, data, length), expected[length])
                << "offset " << offset << ", length " << length;
    }
}

TEST_P(ChecksumPath, ContinuesFromARunningCrc)
{
    // The second call starts from a nonzero CRC; its length picks the path and, past the
    // period, the place where that CRC is folded in, including both wrapped cases.
    const size_t longest = 3 * period + 64;
    const auto buffer = randomBytes(longest, 13);
    const auto expected = referencePrefixes(buffer.data(), longest);

    for (size_t first : {1u, 2u, 3u, 17u, 64u})
        for (size_t second : {size_t{1}, size_t{127}, size_t{128}, size_t{129}, size_t{1000},
                              2 * period, 2 * period + 1, 2 * period + 2, 3 * period - 1})
        {
            const auto running = crc(0, buffer.data(), first);
            ASSERT_NE(running, 0) << "a zero running CRC would not test the hand-over";
            EXPECT_EQ(crc(running, buffer.data() + first, second), expected[first + second])
                << first << " then " << second << " bytes";
        }
}

TEST_P(ChecksumPath, NonPositiveLengthKeepsTheRunningCrc)
{
    EXPECT_EQ(crc(0x1234, nullptr, 0), 0x1234);
    EXPECT_EQ(GetParam().update(0xBEEF, nullptr, -1), 0xBEEF);
}

INSTANTIATE_TEST_SUITE_P(
    Checksum, ChecksumPath,
    ::testing::Values(CrcPath{"table", crc16detail::updateTable, always},
                      CrcPath{"folding", crc16detail::updateFolding, crc16detail::hasFolding},
                      CrcPath{"period_folding", crc16detail::updatePeriodFolding,
                              crc16detail::hasFolding},
                      CrcPath{"dispatched", crc16XmodemUpdate, always}),
    [](const auto& path) { return std::string(path.param.name); });
