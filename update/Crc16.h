// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final XOR.
// A length of 0 or less gives 0 and reads nothing.
std::uint16_t crc16Xmodem(const std::uint8_t* data, std::int64_t length) noexcept;

// Continues a running CRC-16/XMODEM over more bytes.
std::uint16_t crc16XmodemUpdate(std::uint16_t crc, const std::uint8_t* data,
                                std::int64_t length) noexcept;
