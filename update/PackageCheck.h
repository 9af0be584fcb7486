// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <juce_core/juce_core.h>

// Why a package was rejected, in the order the checks run.
enum class PackageFault
{
    none,
    unreadable,   // the file is missing or cannot be opened
    name,         // the name field is not the expected device name
    version,      // the version field does not start with "Ver."
    length,       // the declared payload length is 0, negative or missing
    shortPayload, // fewer payload bytes follow than the length declares
    checksum      // the stored CRC-16 differs from the payload's
};

const char* describe(PackageFault fault) noexcept;

// Everything read from a package, as far as the checks got.
struct PackageCheck
{
    PackageFault fault = PackageFault::unreadable;
    juce::String deviceName;   // the name field's text
    juce::String versionField; // the version field's whole text, "Ver." included
    juce::String version;      // the version text after "Ver."
    juce::int32 declaredLength = 0;
    juce::MemoryBlock payload; // filled only when the package is valid
    juce::uint16 storedChecksum = 0;
    juce::uint16 computedChecksum = 0;

    bool isValid() const noexcept { return fault == PackageFault::none; }
};

// The one package check shared by the program and the package tool.
// Layout: 16-byte name, 16-byte "Ver." version, little-endian int32 length N, N payload bytes,
// little-endian CRC-16/XMODEM of the payload. A declared length beyond what the stream still
// holds is rejected before anything is allocated.
PackageCheck checkPackage(juce::InputStream& stream, juce::StringRef expectedDeviceName);

// Writes a package in the layout checkPackage reads. Texts longer than 15 bytes are refused.
bool writePackage(juce::OutputStream& out, juce::StringRef deviceName, juce::StringRef versionText,
                  const juce::MemoryBlock& payload);

constexpr int packageTextFieldSize = 16;
constexpr int packageHeaderSize = 2 * packageTextFieldSize + 4;
