// SPDX-License-Identifier: GPL-3.0-or-later
// The wizard driven the way a user drives it: clicks and choices on the real child components,
// with the message loop pumped and the simulated MIDI service in place of the platform's.

#include "GuiTestHelpers.h"
#include "SimulatedMidi.h"
#include "pages/ErrorFragment.h"
#include "text/TextLoader.h"
#include "update/PackageCheck.h"
#include "update/UpdManager.h"
#include "wizard/MainComponent.h"
#include "wizard/WizardState.h"

#include <gtest/gtest.h>

namespace
{
juce::File packageBesideExecutable()
{
    return juce::File::getSpecialLocation(juce::File::currentExecutableFile)
        .getParentDirectory()
        .getChildFile("VELKOR_KX_7_UP.upd");
}

void writePackageFile(const std::vector<juce::uint8>& payload, const char* version)
{
    const auto file = packageBesideExecutable();
    file.deleteFile();
    juce::FileOutputStream out(file);
    ASSERT_TRUE(writePackage(out, "VELKOR KX-7", version,
                             juce::MemoryBlock(payload.data(), payload.size())));
}
} // namespace

class Wizard : public testing::Test
{
public:
    ScopedSimulatedMidi simulated;
    SimulatedMidiService& midi = simulated.midi;
    std::vector<juce::uint8> payload = sysExBytes(20000);
    std::unique_ptr<MainComponent> wizard;

    void SetUp() override { writePackageFile(payload, "1.00"); }

    void TearDown() override
    {
        wizard.reset();
        packageBesideExecutable().deleteFile();
    }

    void start()
    {
        wizard = std::make_unique<MainComponent>();
        pumpMessages();
        ASSERT_EQ(TextLoader::getInstance()->getLocale(), 0u) << "the tests read English texts";
    }

    Fragment& page() const { return *wizard->getPage(); }
    int state() const { return wizard->getState(); }

    void choose(const char* comboName, int itemId)
    {
        auto* box = findChild<juce::ComboBox>(page(), comboName);
        ASSERT_NE(box, nullptr) << comboName;
        box->setSelectedId(itemId, juce::sendNotificationSync);
    }

    // Clicks through to the Version page over USB or, with a position, over a MIDI interface.
    void reachVersionPage(int deviceItem = 0)
    {
        start();
        click(page(), "btnOK");
        ASSERT_EQ(state(), WizardState::Connection);
        if (deviceItem > 0)
        {
            choose("cbConnection", 2);
            click(page(), "btnOK");
            ASSERT_EQ(state(), WizardState::Device);
            choose("cbDevice", deviceItem);
        }
        click(page(), "btnOK");
    }

    void transfer()
    {
        ASSERT_EQ(state(), WizardState::Version);
        click(page(), "btnOK");
        ASSERT_TRUE(pumpUntil([this] { return state() != WizardState::Progress; }));
    }
};

TEST_F(Wizard, UpdatesOverUsb)
{
    const auto usb = midi.addPort("VELKOR KX-7");
    reachVersionPage();
    EXPECT_EQ(labelText(page(), "lblText", 1).fromFirstOccurrenceOf("select [", false, false),
              "USB].\nPress the [GLOBAL] button to close the [GLOBAL SETTING] screen.\n");
    transfer();

    EXPECT_EQ(state(), WizardState::Finish);
    EXPECT_EQ(midi.receivedBy(usb), payload);
    EXPECT_FALSE(midi.isOpen(usb)) << "the port is closed before the result is shown";
}

TEST_F(Wizard, UpdatesOverAMidiInterface)
{
    midi.addPort("Interface A");
    const auto synth = midi.addPort("Velkor KX-7");
    const auto interfaceB = midi.addPort("Interface B");

    reachVersionPage(2);
    EXPECT_TRUE(
        labelText(page(), "lblText", 1).contains("Turn the [VALUE] knob and select [MIDI].\n"));
    transfer();

    EXPECT_EQ(state(), WizardState::Finish);
    EXPECT_EQ(midi.receivedBy(interfaceB), payload);
    EXPECT_TRUE(midi.receivedBy(synth).empty());
}

TEST_F(Wizard, ErrorPaths)
{
    const struct
    {
        const char* what;
        std::function<void(SimulatedMidiService&)> arrange;
        int deviceItem; // 0: USB
        int expectedState;
        const char* expectedText;
    } paths[] = {
        {"no package", [](SimulatedMidiService&) { packageBesideExecutable().deleteFile(); }, -1,
         WizardState::FileError, "There is an error in the update file."},
        {"a damaged package",
         [](SimulatedMidiService&)
         { packageBesideExecutable().replaceWithText("VELKOR KX-7 but not a package"); },
         -1, WizardState::FileError, "There is an error in the update file."},
        {"no USB port", [](SimulatedMidiService& m) { m.addPort("Interface A"); }, 0,
         WizardState::NotConnected, "Your VELKOR KX-7 is not connected. : USB"},
        {"the interface refuses to open",
         [](SimulatedMidiService& m) { m.setRefusesOpen(m.addPort("Interface A"), true); }, 1,
         WizardState::NotConnected, "Your VELKOR KX-7 is not connected. : MIDI"},
        {"the port vanishes mid-send",
         [](SimulatedMidiService& m) { m.vanishAfter(m.addPort("Velkor KX-7"), 5000); }, 0,
         WizardState::TransferFailed,
         "An error has occurred.\nIt was not possible to update the program."},
        {"the submission is refused",
         [](SimulatedMidiService& m)
         {
             m.addPort("Velkor KX-7");
             m.setSubmissionStatus(-1);
         },
         0, WizardState::TransferFailed,
         "An error has occurred.\nIt was not possible to update the program."},
        {"a payload that is not SysEx",
         [](SimulatedMidiService& m)
         {
             m.addPort("Velkor KX-7");
             writePackageFile({0x90, 0x40, 0x7F}, "1.00");
         },
         0, WizardState::TransferFailed,
         "An error has occurred.\nIt was not possible to update the program."},
    };

    for (const auto& path : paths)
    {
        SCOPED_TRACE(path.what);
        auto fresh = std::make_unique<SimulatedMidiService>();
        path.arrange(*fresh);
        installMidiOutputService(std::move(fresh));

        if (path.deviceItem < 0)
        {
            start();
            click(page(), "btnOK");
        }
        else
        {
            reachVersionPage(path.deviceItem);
            if (state() == WizardState::Version)
                transfer();
        }

        ASSERT_EQ(state(), path.expectedState);
        ASSERT_NE(dynamic_cast<ErrorFragment*>(&page()), nullptr);
        EXPECT_EQ(labelText(page(), "lblText"), path.expectedText);
        EXPECT_EQ(buttonText(page(), "btnOK"), "OK");

        click(page(), "btnOK");
        EXPECT_EQ(state(), WizardState::Quit);
        EXPECT_EQ(wizard->getPage(), nullptr);
        TearDown();
        SetUp();
    }
}

TEST_F(Wizard, EveryLeavingButtonQuits)
{
    midi.addPort("Velkor KX-7");
    const std::function<void(Wizard&)> routes[] = {
        [](Wizard& w) { click(w.page(), "btnCancel"); },
        [](Wizard& w)
        {
            click(w.page(), "btnOK");
            click(w.page(), "btnCancel");
        },
        [](Wizard& w)
        {
            click(w.page(), "btnOK");
            w.choose("cbConnection", 2);
            click(w.page(), "btnOK");
            click(w.page(), "btnCancel");
        },
        [](Wizard& w)
        {
            click(w.page(), "btnOK");
            click(w.page(), "btnOK");
            click(w.page(), "btnCancel"); // "Close" on the Version page
        },
        [](Wizard& w)
        {
            click(w.page(), "btnOK");
            click(w.page(), "btnOK");
            w.transfer();
            click(w.page(), "btnOK"); // Finish
        },
    };

    for (size_t i = 0; i < std::size(routes); ++i)
    {
        start();
        routes[i](*this);
        EXPECT_EQ(state(), WizardState::Quit) << "route " << i;
        EXPECT_EQ(wizard->getPage(), nullptr) << "route " << i;
    }
}

TEST_F(Wizard, IgnoresRequestsForTheSameOrAnUnknownState)
{
    start();
    auto* first = &page();

    for (const int request : std::initializer_list<int>{WizardState::Start, -1, 11})
    {
        wizard->setState(first, request);
        EXPECT_EQ(state(), WizardState::Start);
        EXPECT_EQ(&page(), first);
        EXPECT_TRUE(first->isVisible());
    }

    // Hidden by other means than a state change: it stays hidden and nothing is built.
    first->setVisible(false);
    EXPECT_EQ(&page(), first);
}

TEST_F(Wizard, TakesEachPagesSizeAndTheWindowKeepsItsCorner)
{
    midi.addPort("Velkor KX-7");
    midi.setBytesPerSecond(200000); // long enough to see the Progress page
    juce::DocumentWindow window("test", juce::Colours::lightgrey, 0, false);
    start();
    window.setContentNonOwned(wizard.get(), true);
    window.setTopLeftPosition(100, 50);

    const auto expectSize = [&](int w, int h)
    {
        EXPECT_EQ(wizard->getWidth(), w);
        EXPECT_EQ(wizard->getHeight(), h);
        EXPECT_EQ(window.getContentComponent()->getBounds().getWidth(), w);
        EXPECT_EQ(window.getPosition(), juce::Point<int>(100, 50));
    };

    expectSize(400, 150);
    click(page(), "btnOK");
    expectSize(400, 150);
    click(page(), "btnOK");
    expectSize(480, 240);
    click(page(), "btnOK");
    expectSize(400, 200);
    ASSERT_TRUE(pumpUntil([this] { return state() == WizardState::Finish; }));
    expectSize(400, 170);

    window.clearContentComponent();
}

TEST_F(Wizard, SetsTheTitleOnceTheLoopRunsAndOnEveryLanguageChange)
{
    juce::DocumentWindow window("Tavrin", juce::Colours::lightgrey, 0, false);
    wizard = std::make_unique<MainComponent>();
    window.setContentNonOwned(wizard.get(), true);
    EXPECT_EQ(window.getName(), "Updater Program");

    pumpMessages();
    EXPECT_EQ(window.getName(), "Updater Program v0.6.3");

    choose("cbLanguage", 3); // Deutsch
    EXPECT_EQ(window.getName(), TextLoader::getInstance()->getString(8) + " v0.6.3");
    EXPECT_NE(window.getName(), "Updater Program v0.6.3");
    EXPECT_EQ(labelText(page(), "lblHeader"), TextLoader::getInstance()->getString(13));
    EXPECT_EQ(buttonText(page(), "btnCancel"), TextLoader::getInstance()->getString(11));
    EXPECT_EQ(findChild<juce::ComboBox>(page(), "cbLanguage")->getItemText(2), "Deutsch");

    window.clearContentComponent();
}

TEST_F(Wizard, QuittingDuringATransferWaitsForTheSendToEnd)
{
    const auto usb = midi.addPort("Velkor KX-7");
    midi.setBytesPerSecond(200000); // a tenth of a second for the payload
    reachVersionPage();
    click(page(), "btnOK");
    ASSERT_EQ(state(), WizardState::Progress);
    ASSERT_TRUE(midi.isSending());

    wizard.reset(); // what the application's shutdown does to the window's content

    EXPECT_FALSE(midi.isSending());
    EXPECT_EQ(midi.receivedBy(usb), payload);
    EXPECT_FALSE(midi.isOpen(usb));
}
