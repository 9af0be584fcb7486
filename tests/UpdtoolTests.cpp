// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestPackages.h"

#include <gtest/gtest.h>

namespace
{
struct Run
{
    int exitCode = -1;
    juce::String output;
};

Run updtool(const juce::StringArray& args)
{
    juce::StringArray command{UPDTOOL_PATH};
    command.addArray(args);

    juce::ChildProcess process;
    if (!process.start(command, juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr))
        return {};

    Run run;
    run.output = process.readAllProcessOutput();
    process.waitForProcessToFinish(10000);
    run.exitCode = static_cast<int>(process.getExitCode());
    return run;
}

juce::String lastLine(const juce::String& text)
{
    auto lines = juce::StringArray::fromLines(text.trimEnd());
    return lines[lines.size() - 1];
}
} // namespace

class Updtool : public testing::Test
{
protected:
    TemporaryFolder temp;

    juce::String path(const char* name) const
    {
        return temp.folder.getChildFile(name).getFullPathName();
    }

    void writeFile(const char* name, const juce::MemoryBlock& bytes) const
    {
        // replaceWithData deletes the file when given no bytes.
        const auto file = temp.folder.getChildFile(name);
        ASSERT_TRUE(bytes.isEmpty() ? file.create().wasOk()
                                    : file.replaceWithData(bytes.getData(), bytes.getSize()));
    }
};

TEST_F(Updtool, PackThenInspectRoundTrip)
{
    const juce::uint8 image[] = {0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7};
    writeFile("image.syx", juce::MemoryBlock(image, sizeof image));

    const auto packed = updtool({"pack", "--device", "VELKOR KX-7", "--version", "1.00",
                                 path("image.syx"), path("out.upd")});
    ASSERT_EQ(packed.exitCode, 0) << packed.output;

    juce::MemoryBlock written;
    temp.folder.getChildFile("out.upd").loadFileAsData(written);
    EXPECT_EQ(written, PackageBytes().build()); // byte for byte the documented example

    const auto inspected = updtool({"inspect", path("out.upd")});
    EXPECT_EQ(inspected.exitCode, 0);
    EXPECT_TRUE(inspected.output.contains("version: Ver.1.00"));
    EXPECT_TRUE(inspected.output.contains("length: 6"));
    EXPECT_TRUE(inspected.output.contains("checksum stored: 0x7F3F"));
    EXPECT_EQ(lastLine(inspected.output), "valid");
}

TEST_F(Updtool, InspectVerdicts)
{
    PackageBytes notSysEx;
    notSysEx.payload = {0x00};
    notSysEx.checksumBytes = {0, 0};
    PackageBytes badCrc;
    badCrc.checksumBytes = {1, 2};
    PackageBytes huge;
    huge.lengthBytes = {0xff, 0xff, 0xff, 0x7f};

    writeFile("notsysex.upd", notSysEx.build());
    writeFile("badcrc.upd", badCrc.build());
    writeFile("huge.upd", huge.build());
    writeFile("empty.upd", {});

    const struct
    {
        juce::StringArray args;
        int exitCode;
        const char* last;
    } cases[] = {
        {{"inspect", path("notsysex.upd")}, 0, "valid"},
        {{"inspect", "--strict", path("notsysex.upd")}, 1,
         "invalid: the payload is not one SysEx message (F0 ... F7)"},
        {{"inspect", "--strict", path("badcrc.upd")}, 1, "invalid: the checksum does not match the payload"},
        {{"inspect", path("badcrc.upd")}, 1, "invalid: the checksum does not match the payload"},
        {{"inspect", path("huge.upd")},
         1,
         "invalid: the payload is shorter than its declared length"},
        {{"inspect", path("empty.upd")}, 1, "invalid: the device name does not match"},
        {{"inspect", "--device", "OTHER", path("badcrc.upd")},
         1,
         "invalid: the device name does not match"},
        {{"inspect", path("missing.upd")}, 1, "invalid: the file cannot be read"},
        {{"inspect", temp.folder.getFullPathName()}, 1, "invalid: the file cannot be read"},
    };

    for (const auto& c : cases)
    {
        const auto run = updtool(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.joinIntoString(" ");
        EXPECT_EQ(lastLine(run.output), c.last) << c.args.joinIntoString(" ");
    }

    EXPECT_TRUE(updtool({"inspect", path("notsysex.upd")}).output.contains("warning: "));
}

TEST_F(Updtool, RefusesBadInputAndUsage)
{
    const juce::uint8 noEnd[] = {0xF0, 0x7D, 0x01};
    const juce::uint8 noStart[] = {0x90, 0x40, 0xF7};
    writeFile("noend.syx", juce::MemoryBlock(noEnd, sizeof noEnd));
    writeFile("nostart.syx", juce::MemoryBlock(noStart, sizeof noStart));
    writeFile("empty.syx", {});
    const juce::uint8 good[] = {0xF0, 0xF7};
    writeFile("good.syx", juce::MemoryBlock(good, sizeof good));

    const juce::StringArray refused[] = {
        {"pack", "--device", "VELKOR KX-7", "--version", "1", path("noend.syx"), path("o.upd")},
        {"pack", "--device", "VELKOR KX-7", "--version", "1", path("nostart.syx"), path("o.upd")},
        {"pack", "--device", "VELKOR KX-7", "--version", "1", path("empty.syx"), path("o.upd")},
        {"pack", "--device", "VELKOR KX-7", "--version", "123456789012", path("good.syx"),
         path("o.upd")},
        {"pack", "--device", "A NAME OF 16 BYT", "--version", "1", path("good.syx"), path("o.upd")},
        {"pack", "--device", "VELKOR KX-7", path("noend.syx"), path("o.upd")},
        {"inspect"},
        {"inspect", "--colour", "x", "a.upd"},
        {"frobnicate"},
        {},
    };

    for (const auto& args : refused)
        EXPECT_EQ(updtool(args).exitCode, 2) << args.joinIntoString(" ");

    EXPECT_FALSE(temp.folder.getChildFile("o.upd").exists());
    EXPECT_EQ(updtool({"--help"}).exitCode, 0);
}
