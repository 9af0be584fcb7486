// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The CRC-16/XMODEM implementations behind crc16XmodemUpdate, exposed so that tests and
// benchmarks can reach each one whatever the processor running them makes the dispatcher pick.
namespace crc16detail
{
// Slicing-by-8 tables; runs anywhere.
std::uint16_t updateTable(std::uint16_t crc, const std::uint8_t* data,
                          std::int64_t length) noexcept;

// Carry-less multiplication folding of every byte. Needs hasFolding().
std::uint16_t updateFolding(std::uint16_t crc, const std::uint8_t* data,
                            std::int64_t length) noexcept;

// As updateFolding, but a long range is first xor-reduced to one period of the polynomial;
// the dispatcher's choice when hasFolding(). Needs hasFolding().
std::uint16_t updatePeriodFolding(std::uint16_t crc, const std::uint8_t* data,
                                  std::int64_t length) noexcept;

// Whether the processor has PCLMULQDQ and SSE4.1 (always false off x86-64).
bool hasFolding() noexcept;
} // namespace crc16detail
