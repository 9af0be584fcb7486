// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestPackages.h"
#include "update/PackageCheck.h"
#include "update/UpdManager.h"

#include <gtest/gtest.h>

namespace
{
PackageCheck check(const juce::MemoryBlock& bytes, const char* device = "VELKOR KX-7")
{
    juce::MemoryInputStream stream(bytes, false);
    return checkPackage(stream, device);
}

juce::File besideExecutable(const juce::String& name)
{
    return juce::File::getSpecialLocation(juce::File::currentExecutableFile)
        .getParentDirectory()
        .getChildFile(name);
}

// A package file beside the test executable, under a name of the test's own.
struct PackageBesideExecutable
{
    juce::File file;

    PackageBesideExecutable(const juce::String& name, const juce::MemoryBlock& bytes)
        : file(besideExecutable(name))
    {
        file.replaceWithData(bytes.getData(), bytes.getSize());
    }
    ~PackageBesideExecutable() { file.deleteFile(); }
};
} // namespace

TEST(PackageCheck, Verdicts)
{
    using F = PackageFault;
    const auto field = [](const char* text) { return PackageBytes::textField(text); };
    const auto full16 = std::vector<juce::uint8>(16, 'A');

    const struct
    {
        const char* what;
        std::function<void(PackageBytes&)> change;
        PackageFault fault;
        const char* version;
    } cases[] = {
        {"the example package", [](PackageBytes&) {}, F::none, "1.00"},
        {"device name in lower case", [&](PackageBytes& p) { p.nameField = field("velkor kx-7"); },
         F::none, "1.00"},
        {"device name with a trailing space",
         [&](PackageBytes& p) { p.nameField = field("VELKOR KX-7 "); }, F::name, ""},
        {"bytes after the name's 0x00 are ignored", [&](PackageBytes& p) { p.nameField[12] = 'Z'; },
         F::none, "1.00"},
        {"a name field without 0x00 is a 16-character text",
         [&](PackageBytes& p) { p.nameField = full16; }, F::name, ""},
        {"lower-case version prefix", [&](PackageBytes& p) { p.versionField = field("ver.1.00"); },
         F::version, ""},
        {"bare prefix gives an empty version",
         [&](PackageBytes& p) { p.versionField = field("Ver."); }, F::none, ""},
        {"a blank after the prefix is kept",
         [&](PackageBytes& p) { p.versionField = field("Ver. 2.1"); }, F::none, " 2.1"},
        {"Latin-1 bytes in the version",
         [&](PackageBytes& p) { p.versionField = field("Ver.1\xe9"); }, F::none, "1\xc3\xa9"},
        {"negative length",
         [](PackageBytes& p) {
             p.lengthBytes = {0, 0, 0, 0x80};
         },
         F::length, "1.00"},
        {"zero length",
         [](PackageBytes& p) {
             p.lengthBytes = {0, 0, 0, 0};
         },
         F::length, "1.00"},
        {"length one beyond the data",
         [](PackageBytes& p) {
             p.lengthBytes = {9, 0, 0, 0};
         },
         F::shortPayload, "1.00"},
        {"length written big-endian",
         [](PackageBytes& p) {
             p.lengthBytes = {0, 0, 0, 6};
         },
         F::shortPayload, "1.00"},
        {"largest positive length",
         [](PackageBytes& p) {
             p.lengthBytes = {0xff, 0xff, 0xff, 0x7f};
         },
         F::shortPayload, "1.00"},
        {"checksum written big-endian",
         [](PackageBytes& p) {
             p.checksumBytes = {0x7F, 0x3F};
         },
         F::checksum, "1.00"},
        {"checksum missing", [](PackageBytes& p) { p.checksumBytes.clear(); }, F::checksum, "1.00"},
        {"one checksum byte reads as a missing checksum",
         [](PackageBytes& p) { p.checksumBytes = {0x3F}; }, F::checksum, "1.00"},
        {"missing checksum over a payload whose CRC is 0",
         [](PackageBytes& p) { p.payload = {0x00}, p.checksumBytes.clear(); }, F::none, "1.00"},
        {"bytes after the checksum are ignored",
         [](PackageBytes& p) {
             p.trailing = {1, 2, 3};
         },
         F::none, "1.00"},
        {"a corrupted payload byte", [](PackageBytes& p) { p.payload[3] ^= 0x10; }, F::checksum,
         "1.00"},
    };

    for (const auto& c : cases)
    {
        PackageBytes package;
        c.change(package);
        const auto result = check(package.build());

        EXPECT_EQ(result.fault, c.fault) << c.what;
        if (c.fault == F::none)
        {
            EXPECT_EQ(result.version, juce::String::fromUTF8(c.version)) << c.what;
            EXPECT_EQ(result.payload,
                      juce::MemoryBlock(package.payload.data(), package.payload.size()))
                << c.what;
        }
        else
        {
            EXPECT_EQ(result.payload.getSize(), 0u) << c.what;
        }
    }
}

TEST(PackageCheck, TruncatedAtEveryByte)
{
    const auto whole = PackageBytes().build();
    ASSERT_EQ(whole.getSize(), 44u);

    for (size_t size = 0; size < whole.getSize(); ++size)
    {
        using F = PackageFault;
        const auto expected = size < 11   ? F::name    // the name is incomplete
                              : size < 20 ? F::version // "Ver." is incomplete
                              : size < 36 ? F::length  // fewer than four length bytes
                              : size < 42 ? F::shortPayload
                                          : F::checksum; // checksum bytes missing

        EXPECT_EQ(check(juce::MemoryBlock(whole.getData(), size)).fault, expected)
            << size << " bytes";
    }
}

TEST(PackageCheck, OtherDeviceIsRejected)
{
    EXPECT_EQ(check(PackageBytes().build(), "VELKOR KX-9").fault, PackageFault::name);
}

TEST(PackageCheck, WrittenPackageReadsBack)
{
    const juce::uint8 image[] = {0xF0, 0x7D, 0x10, 0x20, 0xF7};
    juce::MemoryOutputStream out;
    ASSERT_TRUE(writePackage(out, "VELKOR KX-7", "2.05", juce::MemoryBlock(image, sizeof image)));

    const auto result = check(out.getMemoryBlock());
    EXPECT_TRUE(result.isValid());
    EXPECT_EQ(result.version, "2.05");
    EXPECT_EQ(result.payload, juce::MemoryBlock(image, sizeof image));

    juce::MemoryOutputStream refused;
    EXPECT_FALSE(writePackage(refused, "A NAME OF 16 BYT", "1", juce::MemoryBlock(image, 5)));
    EXPECT_FALSE(writePackage(refused, "VELKOR KX-7", "123456789012", juce::MemoryBlock(image, 5)));
}

TEST(LoadUpd, ReadsThePackageBesideTheExecutable)
{
    const PackageBesideExecutable package("load-beside.upd", PackageBytes().build());
    UpdManager manager;

    ASSERT_TRUE(manager.loadUpd("load-beside.upd", "VELKOR KX-7"));
    ASSERT_NE(manager.message, nullptr);
    EXPECT_EQ(manager.version, "1.00");
    EXPECT_TRUE(manager.message->isSysEx());
    EXPECT_EQ(manager.message->getTimeStamp(), 0.0);

    const juce::uint8 payload[] = {0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7};
    EXPECT_EQ(juce::MemoryBlock(manager.message->getRawData(), 6), juce::MemoryBlock(payload, 6));
    EXPECT_EQ(manager.message->getRawDataSize(), 6);
}

TEST(LoadUpd, IgnoresACopyInTheWorkingDirectory)
{
    const TemporaryFolder elsewhere;
    elsewhere.folder.getChildFile("only-in-cwd.upd")
        .replaceWithData(PackageBytes().build().getData(), 44);
    const juce::File previous = juce::File::getCurrentWorkingDirectory();
    elsewhere.folder.setAsCurrentWorkingDirectory();

    UpdManager manager;
    const auto loaded = manager.loadUpd("only-in-cwd.upd", "VELKOR KX-7");
    previous.setAsCurrentWorkingDirectory();

    EXPECT_FALSE(loaded);
    EXPECT_EQ(manager.message, nullptr);
}

TEST(LoadUpd, ASecondLoadReplacesAndAFailedLoadKeeps)
{
    PackageBytes second;
    second.versionField = PackageBytes::textField("Ver.2.00");
    second.payload = {0xF0, 0x7D, 0x7F, 0xF7};
    second.checksumBytes.clear();
    {
        juce::MemoryInputStream s(juce::MemoryBlock(second.payload.data(), 4), false);
        const auto crc = UpdManager().calcCRC(second.payload.data(), 4);
        second.checksumBytes = {static_cast<juce::uint8>(crc), static_cast<juce::uint8>(crc >> 8)};
    }
    PackageBytes broken;
    broken.checksumBytes = {0, 0};

    const PackageBesideExecutable first("load-first.upd", PackageBytes().build());
    const PackageBesideExecutable replacement("load-second.upd", second.build());
    const PackageBesideExecutable bad("load-bad.upd", broken.build());
    UpdManager manager;

    ASSERT_TRUE(manager.loadUpd("load-first.upd", "VELKOR KX-7"));
    ASSERT_TRUE(manager.loadUpd("load-second.upd", "VELKOR KX-7"));
    EXPECT_EQ(manager.version, "2.00");
    EXPECT_EQ(manager.message->getRawDataSize(), 4);

    EXPECT_FALSE(manager.loadUpd("load-bad.upd", "VELKOR KX-7"));
    EXPECT_FALSE(manager.loadUpd("no-such-file.upd", "VELKOR KX-7"));
    EXPECT_EQ(manager.version, "2.00");
    EXPECT_EQ(manager.message->getRawDataSize(), 4);
}
