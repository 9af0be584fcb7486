// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/UpdManager.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace
{
// The augmented-message bitwise form: a 24-bit register, the byte shifted in below the CRC and
// 16 zero bits fed behind the message. Independent of the table-driven code under test.
juce::uint16 referenceCrc(const juce::uint8* data, size_t length)
{
    juce::uint32 r = 0;
    const auto shift = [&r]
    {
        r <<= 1;
        if (r & 0x1000000u)
            r ^= 0x1102100u;
    };

    for (size_t i = 0; i < length; ++i)
    {
        r |= data[i];
        for (int bit = 0; bit < 8; ++bit)
            shift();
    }
    for (int bit = 0; bit < 16; ++bit)
        shift();

    return static_cast<juce::uint16>((r >> 8) & 0xffffu);
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
    for (size_t length : {1u, 7u, 8u, 9u, 4096u})
        EXPECT_EQ(crcOf(std::vector<juce::uint8>(length, 0)), 0) << length;
}

TEST(Checksum, AgreesWithBitwiseFormAtEveryLengthAndAlignment)
{
    std::mt19937 random(7);
    std::vector<juce::uint8> buffer(300);
    for (auto& b : buffer)
        b = static_cast<juce::uint8>(random());

    const UpdManager manager;
    for (size_t offset = 0; offset < 8; ++offset)
        for (size_t length = 0; length + offset <= buffer.size(); length += 1 + length / 16)
            ASSERT_EQ(manager.calcCRC(buffer.data() + offset, static_cast<juce::int64>(length)),
                      referenceCrc(buffer.data() + offset, length))
                << "offset " << offset << ", length " << length;
}
