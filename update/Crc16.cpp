// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/Crc16.h"
#include "update/Crc16Internal.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TAVRIN_CRC_FOLDING 1
#include <immintrin.h>
#else
#define TAVRIN_CRC_FOLDING 0
#endif

namespace
{
constexpr std::uint16_t polynomial = 0x1021;

// Slicing-by-8: table[k][b] is the CRC contribution of byte b followed by k zero bytes, so eight
// input bytes are folded with eight independent lookups instead of a serial chain of 64 steps.
constexpr int sliceCount = 8;
using SliceTables = std::array<std::array<std::uint16_t, 256>, sliceCount>;

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

#if TAVRIN_CRC_FOLDING
// Folding with carry-less multiplication.
//
// With bits taken most significant first, the CRC state after a message M (over GF(2)) is
// M(x) * x^16 mod P(x), P = x^16 + 0x1021. Any value congruent to M mod P gives the same state, so
// the data is kept in 128-bit accumulators, each byte-reversed on load so that bit i of the
// register is the coefficient of x^i. To move an accumulator A = H x^64 + L forward past d more
// message bits, A x^d = H x^(d+64) + L x^d, which is congruent to
//     clmul(H, x^(d+64) mod P) xor clmul(L, x^d mod P),
// at most 64 + 15 bits wide, so it fits the register with no reduction. The constants are
// residues of a 16-bit CRC with no reflection, so no bit shifts or reflections enter them.
//
// An incoming CRC c is c x^(8n) for the n bytes that follow, the same as xoring c into their
// first two bytes. At the end the accumulator is a 16-byte message congruent to everything
// folded so far; the table code turns it into the CRC state and runs the short tail.
constexpr std::uint16_t xPowerModP(unsigned power)
{
    std::uint32_t r = 1;
    for (unsigned i = 0; i < power; ++i)
    {
        r <<= 1;
        if (r & 0x10000u)
            r ^= 0x10000u | polynomial;
    }
    return static_cast<std::uint16_t>(r);
}
static_assert(xPowerModP(15) == 0x8000 && xPowerModP(16) == polynomial, "x^n mod P is off");
// tables[k][1] is the byte 01 followed by k zero bytes, x^(8k + 16) mod P by other means.
static_assert(tables[sliceCount - 1][1] == xPowerModP(8 * (sliceCount - 1) + 16),
              "x^n mod P disagrees with the tables");

constexpr int blockBytes = 16;
constexpr int accumulators = 8; // enough independent chains to cover the multiplier's latency
constexpr int strideBytes = blockBytes * accumulators;

// {high: x^(d+64) mod P, low: x^d mod P} for d bits of distance: {0x71c4, 0x36c4} for a stride,
// {0x650b, 0xaefc} for a block.
struct FoldConstants
{
    std::uint16_t high, low;
};
constexpr FoldConstants foldBy(unsigned bits)
{
    return {xPowerModP(bits + 64), xPowerModP(bits)};
}
constexpr FoldConstants foldStride = foldBy(8 * strideBytes);
constexpr FoldConstants foldBlock = foldBy(8 * blockBytes);

#define TAVRIN_CRC_TARGET __attribute__((target("pclmul,sse4.1")))

TAVRIN_CRC_TARGET inline __m128i constants(FoldConstants k) noexcept
{
    return _mm_set_epi64x(k.high, k.low);
}

TAVRIN_CRC_TARGET inline __m128i byteReverse() noexcept
{
    return _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}

TAVRIN_CRC_TARGET inline __m128i load(const std::uint8_t* p, __m128i reverse) noexcept
{
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

TAVRIN_CRC_TARGET inline __m128i fold(__m128i a, __m128i k) noexcept
{
    return _mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x11), _mm_clmulepi64_si128(a, k, 0x00));
}

TAVRIN_CRC_TARGET std::uint16_t foldBlocks(std::uint16_t crc, const std::uint8_t* data,
                                           std::int64_t length) noexcept
{
    if (length < strideBytes)
        return crc16detail::updateTable(crc, data, length);

    const auto reverse = byteReverse();
    const auto kStride = constants(foldStride);
    const auto kBlock = constants(foldBlock);

    __m128i acc[accumulators];
#pragma GCC unroll 8
    for (int i = 0; i < accumulators; ++i)
        acc[i] = load(data + i * blockBytes, reverse);

    const auto incoming = static_cast<long long>(static_cast<std::uint64_t>(crc) << 48);
    acc[0] = _mm_xor_si128(acc[0], _mm_set_epi64x(incoming, 0));
    data += strideBytes;
    length -= strideBytes;

    for (; length >= strideBytes; data += strideBytes, length -= strideBytes)
    {
#pragma GCC unroll 8
        for (int i = 0; i < accumulators; ++i)
            acc[i] = _mm_xor_si128(fold(acc[i], kStride), load(data + i * blockBytes, reverse));
    }

    auto folded = acc[0];
#pragma GCC unroll 8
    for (int i = 1; i < accumulators; ++i)
        folded = _mm_xor_si128(fold(folded, kBlock), acc[i]);

    for (; length >= blockBytes; data += blockBytes, length -= blockBytes)
        folded = _mm_xor_si128(fold(folded, kBlock), load(data, reverse));

    alignas(16) std::uint8_t message[blockBytes];
    _mm_store_si128(reinterpret_cast<__m128i*>(message), _mm_shuffle_epi8(folded, reverse));

    const auto state = crc16detail::updateTable(0, message, blockBytes);
    return crc16detail::updateTable(state, data, length);
}

// Folding is bound by the multiplier (two per 16 bytes), well below memory speed. But x has
// order 32767 modulo P, so x^(8 * 32767) = 1 and bytes 32767 apart carry the same weight: a long
// message is congruent to the xor of its 32767-byte pieces, aligned at its end. Xoring runs at
// load speed, and only that one piece is folded.
constexpr std::int64_t periodBytes = 32767;
static_assert(xPowerModP(periodBytes) == 1, "x^32767 mod P must be 1");
constexpr std::int64_t periodMinimum = 2 * periodBytes; // below it, folding alone is as fast

template <int sources>
TAVRIN_CRC_TARGET inline void xorInto(std::uint8_t* target, const std::uint8_t* source,
                                      std::int64_t length) noexcept
{
    std::int64_t i = 0;
    for (; i + blockBytes <= length; i += blockBytes)
    {
        auto sum = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target + i));
#pragma GCC unroll 4
        for (int s = 0; s < sources; ++s)
            sum = _mm_xor_si128(sum, _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                         source + s * periodBytes + i)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), sum);
    }
    for (; i < length; ++i)
        for (int s = 0; s < sources; ++s)
            target[i] ^= source[s * periodBytes + i];
}

TAVRIN_CRC_TARGET std::uint16_t reduceByPeriod(std::uint16_t crc, const std::uint8_t* data,
                                               std::int64_t length) noexcept
{
    // The head, length mod 32767 bytes, lines up with the end of the residue; the whole pieces
    // follow it.
    const auto head = length % periodBytes;
    auto pieces = length / periodBytes;
    const auto* piece = data + head;

    alignas(16) std::uint8_t residue[periodBytes];
    std::memcpy(residue, piece, periodBytes);
    piece += periodBytes;
    --pieces;

    for (; pieces >= 4; pieces -= 4, piece += 4 * periodBytes)
        xorInto<4>(residue, piece, periodBytes);
    for (; pieces > 0; --pieces, piece += periodBytes)
        xorInto<1>(residue, piece, periodBytes);

    xorInto<1>(residue + periodBytes - head, data, head);

    // The incoming CRC belongs in the message's first two bytes, which may wrap around.
    residue[(periodBytes - head) % periodBytes] ^= static_cast<std::uint8_t>(crc >> 8);
    residue[(periodBytes - head + 1) % periodBytes] ^= static_cast<std::uint8_t>(crc);

    return foldBlocks(0, residue, periodBytes);
}

#endif

using Update = std::uint16_t (*)(std::uint16_t, const std::uint8_t*, std::int64_t) noexcept;

Update chooseUpdate() noexcept
{
    return crc16detail::hasFolding() ? crc16detail::updatePeriodFolding : crc16detail::updateTable;
}
} // namespace

namespace crc16detail
{
std::uint16_t updateTable(std::uint16_t crc, const std::uint8_t* data, std::int64_t length) noexcept
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

std::uint16_t updateFolding(std::uint16_t crc, const std::uint8_t* data,
                            std::int64_t length) noexcept
{
#if TAVRIN_CRC_FOLDING
    return foldBlocks(crc, data, length);
#else
    return updateTable(crc, data, length);
#endif
}

std::uint16_t updatePeriodFolding(std::uint16_t crc, const std::uint8_t* data,
                                  std::int64_t length) noexcept
{
#if TAVRIN_CRC_FOLDING
    return length >= periodMinimum ? reduceByPeriod(crc, data, length)
                                   : foldBlocks(crc, data, length);
#else
    return updateTable(crc, data, length);
#endif
}

bool hasFolding() noexcept
{
#if TAVRIN_CRC_FOLDING
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
#else
    return false;
#endif
}
} // namespace crc16detail

std::uint16_t crc16XmodemUpdate(std::uint16_t crc, const std::uint8_t* data,
                                std::int64_t length) noexcept
{
    static const Update update = chooseUpdate();
    return update(crc, data, length);
}

std::uint16_t crc16Xmodem(const std::uint8_t* data, std::int64_t length) noexcept
{
    return crc16XmodemUpdate(0, data, length);
}
