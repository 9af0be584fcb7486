// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/Crc16.h"

#include <array>
#include <cstring>

namespace
{
// Slicing-by-8: table[k][b] is the CRC contribution of byte b followed by k zero bytes, so eight
// input bytes are folded with eight independent lookups instead of a serial chain of 64 steps.
constexpr int sliceCount = 8;
using SliceTables = std::array<std::array<std::uint16_t, 256>, sliceCount>;

constexpr std::uint16_t polynomial = 0x1021;

constexpr SliceTables makeTables()
{
    SliceTables tables{};

    for (unsigned b = 0; b < 256; ++b)
    {
        auto crc = static_cast<std::uint16_t>(b << 8);

        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000u) ? (crc << 1) ^ polynomial : crc << 1);

        tables[0][b] = crc;
    }

    for (unsigned b = 0; b < 256; ++b)
        for (int k = 1; k < sliceCount; ++k)
        {
            const auto previous = tables[k - 1][b];
            tables[k][b] = static_cast<std::uint16_t>((previous << 8) ^ tables[0][previous >> 8]);
        }

    return tables;
}

constexpr SliceTables tables = makeTables();

inline std::uint16_t step(std::uint16_t crc, std::uint8_t byte) noexcept
{
    return static_cast<std::uint16_t>((crc << 8) ^ tables[0][((crc >> 8) ^ byte) & 0xffu]);
}
} // namespace

std::uint16_t crc16XmodemUpdate(std::uint16_t crc, const std::uint8_t* data,
                                std::int64_t length) noexcept
{
    if (length <= 0)
        return crc;

    auto remaining = static_cast<std::uint64_t>(length);

    while (remaining >= sliceCount)
    {
        const unsigned hi = static_cast<unsigned>(data[0] ^ (crc >> 8));
        const unsigned lo = static_cast<unsigned>(data[1] ^ (crc & 0xffu));

        crc = static_cast<std::uint16_t>(
            tables[7][hi] ^ tables[6][lo] ^ tables[5][data[2]] ^ tables[4][data[3]] ^
            tables[3][data[4]] ^ tables[2][data[5]] ^ tables[1][data[6]] ^ tables[0][data[7]]);
        data += sliceCount;
        remaining -= sliceCount;
    }

    while (remaining-- > 0)
        crc = step(crc, *data++);

    return crc;
}

std::uint16_t crc16Xmodem(const std::uint8_t* data, std::int64_t length) noexcept
{
    return crc16XmodemUpdate(0, data, length);
}
