// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <juce_core/juce_core.h>

#include <vector>

// Builds update package bytes field by field, so each test states only what it changes.
struct PackageBytes
{
    std::vector<juce::uint8> nameField = textField("VELKOR KX-7");
    std::vector<juce::uint8> versionField = textField("Ver.1.00");
    std::vector<juce::uint8> lengthBytes; // empty: the payload's length, little-endian
    std::vector<juce::uint8> payload{0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7};
    std::vector<juce::uint8> checksumBytes{0x3F, 0x7F};
    std::vector<juce::uint8> trailing;

    static std::vector<juce::uint8> textField(const char* text, size_t size = 16)
    {
        std::vector<juce::uint8> field(size, 0);
        for (size_t i = 0; text[i] != 0 && i < size; ++i)
            field[i] = static_cast<juce::uint8>(text[i]);
        return field;
    }

    static std::vector<juce::uint8> littleEndian(juce::uint32 value)
    {
        return {static_cast<juce::uint8>(value), static_cast<juce::uint8>(value >> 8),
                static_cast<juce::uint8>(value >> 16), static_cast<juce::uint8>(value >> 24)};
    }

    juce::MemoryBlock build() const
    {
        juce::MemoryBlock block;
        const auto append = [&block](const std::vector<juce::uint8>& bytes)
        { block.append(bytes.data(), bytes.size()); };

        append(nameField);
        append(versionField);
        append(lengthBytes.empty() ? littleEndian(static_cast<juce::uint32>(payload.size()))
                                   : lengthBytes);
        append(payload);
        append(checksumBytes);
        append(trailing);
        return block;
    }
};

// A folder beside the test executable, removed afterwards.
struct TemporaryFolder
{
    juce::File folder = juce::File::getSpecialLocation(juce::File::tempDirectory)
                            .getNonexistentChildFile("tavrin-test", "", false);

    TemporaryFolder() { folder.createDirectory(); }
    ~TemporaryFolder() { folder.deleteRecursively(); }
};
