// SPDX-License-Identifier: GPL-3.0-or-later
// Each page on its own: children, names, geometry, and the English texts it shows.

#include "GuiTestHelpers.h"
#include "SimulatedMidi.h"
#include "midi/SysExController.h"
#include "pages/ConnectionFragment.h"
#include "pages/DeviceFragment.h"
#include "pages/ErrorFragment.h"
#include "pages/FinishFragment.h"
#include "pages/LanguageFragment.h"
#include "pages/ProgressFragment.h"
#include "pages/VersionFragment.h"
#include "text/TextLoader.h"
#include "update/UpdManager.h"
#include "wizard/WizardState.h"

#include <gtest/gtest.h>

namespace
{
struct Child
{
    const char* name;
    juce::Rectangle<int> bounds;
};

struct PageLayout
{
    const char* what;
    std::function<std::unique_ptr<Fragment>()> make;
    int width, height;
    std::vector<Child> children;
};
} // namespace

class Pages : public testing::Test
{
public:
    ScopedSimulatedMidi simulated;
    SimulatedMidiService& midi = simulated.midi;

    void SetUp() override
    {
        TextLoader::getInstance()->setLocale(0);
        UpdManager::getInstance()->version = "1.00";
    }

    void TearDown() override
    {
        UpdManager::deleteInstance();
        TextLoader::deleteInstance();
    }
};

TEST_F(Pages, ChildrenNamesAndGeometry)
{
    const auto buttonsAndCombo = std::vector<Child>{{"btnOK", {280, 110, 100, 20}},
                                                    {"btnCancel", {170, 110, 100, 20}},
                                                    {"", {20, 65, 360, 20}},
                                                    {"lblHeader", {20, 20, 360, 20}},
                                                    {"lblText", {40, 40, 340, 20}}};
    const auto withCombo = [&](const char* combo)
    {
        auto children = buttonsAndCombo;
        children[2].name = combo;
        return children;
    };

    const PageLayout layouts[] = {
        {"Language", [] { return std::make_unique<LanguageFragment>(); }, 400, 150,
         withCombo("cbLanguage")},
        {"Connection", [] { return std::make_unique<ConnectionFragment>(); }, 400, 150,
         withCombo("cbConnection")},
        {"Device", [] { return std::make_unique<DeviceFragment>(); }, 400, 150,
         withCombo("cbDevice")},
        {"Version",
         [] { return std::make_unique<VersionFragment>(0); },
         480,
         240,
         {{"btnOK", {360, 200, 100, 20}},
          {"btnCancel", {250, 200, 100, 20}},
          {"lblHeader", {20, 20, 440, 20}},
          {"lblText", {40, 40, 420, 20}},
          {"lblText", {20, 70, 440, 120}}}},
        {"Progress",
         [] { return std::make_unique<ProgressFragment>(); },
         400,
         200,
         {{"lblHeader", {20, 20, 360, 20}},
          {"lblText", {40, 40, 340, 20}},
          {"pbWait", {20, 80, 360, 20}},
          {"lblText", {20, 120, 360, 60}}}},
        {"Finish",
         [] { return std::make_unique<FinishFragment>(); },
         400,
         170,
         {{"btnOK", {280, 130, 100, 20}},
          {"lblHeader", {20, 20, 360, 20}},
          {"lblText", {40, 40, 340, 80}}}},
        {"Error",
         [] { return std::make_unique<ErrorFragment>(WizardState::FileError, 0); },
         400,
         150,
         {{"btnOK", {280, 110, 100, 20}}, {"lblText", {105, 20, 275, 80}}}},
    };

    for (const auto& layout : layouts)
    {
        SCOPED_TRACE(layout.what);
        const auto page = layout.make();
        EXPECT_EQ(page->getWidth(), layout.width);
        EXPECT_EQ(page->getHeight(), layout.height);
        ASSERT_EQ(static_cast<size_t>(page->getNumChildComponents()), layout.children.size());

        for (size_t i = 0; i < layout.children.size(); ++i)
        {
            const auto* child = page->getChildComponent(static_cast<int>(i));
            EXPECT_EQ(child->getName(), layout.children[i].name) << i;
            EXPECT_EQ(child->getBounds(), layout.children[i].bounds) << i;
            EXPECT_TRUE(child->isVisible()) << i;
        }
    }
}

TEST_F(Pages, EnglishTexts)
{
    const struct
    {
        const char* what;
        std::function<std::unique_ptr<Fragment>()> make;
        std::vector<std::pair<const char*, const char*>>
            labels; // "lblText#1" is the second lblText
        std::vector<std::pair<const char*, const char*>> buttons;
    } pages[] = {
        {"Language",
         [] { return std::make_unique<LanguageFragment>(); },
         {{"lblHeader", "Language Selections"}, {"lblText", "Please select a language."}},
         {{"btnOK", "OK"}, {"btnCancel", "Cancel"}}},
        {"Connection",
         [] { return std::make_unique<ConnectionFragment>(); },
         {{"lblHeader", "Select connection method"},
          {"lblText", "Select a method to connect with VELKOR KX-7."}},
         {{"btnOK", "OK"}, {"btnCancel", "Cancel"}}},
        {"Device",
         [] { return std::make_unique<DeviceFragment>(); },
         {{"lblHeader", "Select update device"}, {"lblText", "Select a VELKOR KX-7 to update."}},
         {{"btnOK", "OK"}, {"btnCancel", "Cancel"}}},
        {"Version over MIDI",
         [] { return std::make_unique<VersionFragment>(1); },
         {{"lblHeader", "Updates the version of your VELKOR KX-7 firmware."},
          {"lblText", "Update Version: Ver. 1.00"},
          {"lblText#1",
           "Before starting the version upgrade, configure the VELKOR KX-7 as follows.\n\n"
           "Press the [GLOBAL] button to display the [GLOBAL SETTING] screen.\n"
           "Turn the [PARAM/CATEGORY] knob to display the [MIDI Sysex Cable] screen.\n"
           "Turn the [VALUE] knob and select [MIDI].\n"
           "Press the [GLOBAL] button to close the [GLOBAL SETTING] screen.\n"}},
         {{"btnOK", "Start"}, {"btnCancel", "Close"}}},
        {"Progress",
         [] { return std::make_unique<ProgressFragment>(); },
         {{"lblHeader", "Updating your VELKOR KX-7 firmware."},
          {"lblText", "Transferring the firmware.Please wait."},
          {"lblText#1", "A countdown is displayed in the [VELKOR KX-7] body.\n"
                        "Do not remove the power/USB cable until the countdown is complete."}},
         {}},
        {"Finish",
         [] { return std::make_unique<FinishFragment>(); },
         {{"lblHeader", "Updating your VELKOR KX-7 firmware."},
          {"lblText", "Please wait until the firmware update completes.\n"
                      "After updating is completed, VELKOR KX-7 will restart automatically.\n"
                      "Do not turn off the VELKOR KX-7."}},
         {{"btnOK", "OK"}}},
        {"File error",
         [] { return std::make_unique<ErrorFragment>(WizardState::FileError, 1); },
         {{"lblText", "There is an error in the update file."}},
         {{"btnOK", "OK"}}},
        {"Not connected over USB",
         [] { return std::make_unique<ErrorFragment>(WizardState::NotConnected, 0); },
         {{"lblText", "Your VELKOR KX-7 is not connected. : USB"}},
         {{"btnOK", "OK"}}},
        {"Not connected over MIDI",
         [] { return std::make_unique<ErrorFragment>(WizardState::NotConnected, 1); },
         {{"lblText", "Your VELKOR KX-7 is not connected. : MIDI"}},
         {{"btnOK", "OK"}}},
        {"Transfer failed",
         [] { return std::make_unique<ErrorFragment>(WizardState::TransferFailed, 1); },
         {{"lblText", "An error has occurred.\nIt was not possible to update the program."}},
         {{"btnOK", "OK"}}},
    };

    for (const auto& p : pages)
    {
        SCOPED_TRACE(p.what);
        const auto page = p.make();
        for (const auto& [name, text] : p.labels)
        {
            const juce::String key(name);
            EXPECT_EQ(labelText(*page, key.upToFirstOccurrenceOf("#", false, false),
                                key.contains("#1") ? 1 : 0),
                      juce::String::fromUTF8(text))
                << name;
        }
        for (const auto& [name, text] : p.buttons)
            EXPECT_EQ(buttonText(*page, name), text) << name;
    }
}

TEST_F(Pages, VersionTextIsShownAsItIs)
{
    for (const auto* version : {"", "2.0 50%", "%s%n"})
    {
        UpdManager::getInstance()->version = version;
        VersionFragment page(0);
        EXPECT_EQ(labelText(page, "lblText"), "Update Version: Ver. " + juce::String(version));
    }
}

TEST_F(Pages, ConnectionOffersUsbThenMidiWithUsbSelected)
{
    ConnectionFragment page;
    auto* box = findChild<juce::ComboBox>(page, "cbConnection");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->getNumItems(), 2);
    EXPECT_EQ(box->getItemText(0), "USB");
    EXPECT_EQ(box->getItemText(1), "MIDI");
    EXPECT_EQ(box->getSelectedId(), 1);
}

TEST_F(Pages, DeviceOffersOtherPortsAndOpensTheChosenOneByItsFullListPosition)
{
    const struct
    {
        const char* what;
        std::vector<const char*> ports;
        std::vector<const char*> offered;
        int pick;           // item ID
        int openedPosition; // position in the full list
    } cases[] = {
        {"the worked example",
         {"Interface A", "Velkor KX-7", "Interface B", "Microsoft GS Wavetable Synth",
          "Interface C"},
         {"Interface A", "Interface B", "Interface C"},
         3,
         4},
        {"the example's second item",
         {"Interface A", "Velkor KX-7", "Interface B", "Microsoft GS Wavetable Synth",
          "Interface C"},
         {"Interface A", "Interface B", "Interface C"},
         2,
         2},
        {"excluded names in any case, twice",
         {"velkor kx-7", "X", "VELKOR KX-7", "MICROSOFT GS WAVETABLE SYNTH", "Y"},
         {"X", "Y"},
         2,
         4},
        {"two interfaces with one name", {"Same", "Same"}, {"Same", "Same"}, 2, 1},
        {"nothing excluded", {"P", "Q", "R"}, {"P", "Q", "R"}, 2, 1},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        ScopedSimulatedMidi fresh;
        std::vector<int> ids;
        for (const auto* name : c.ports)
            ids.push_back(fresh.midi.addPort(name));

        DeviceFragment page;
        auto* box = findChild<juce::ComboBox>(page, "cbDevice");
        auto* ok = findChild<juce::TextButton>(page, "btnOK");
        ASSERT_EQ(static_cast<size_t>(box->getNumItems()), c.offered.size());
        for (int i = 0; i < box->getNumItems(); ++i)
        {
            EXPECT_EQ(box->getItemText(i), c.offered[static_cast<size_t>(i)]);
            EXPECT_EQ(box->getItemId(i), i + 1);
        }
        EXPECT_EQ(box->getSelectedId(), 0);
        EXPECT_FALSE(ok->isEnabled());

        box->setSelectedId(c.pick, juce::sendNotificationSync);
        EXPECT_TRUE(ok->isEnabled());
        click(page, "btnOK");

        for (size_t i = 0; i < ids.size(); ++i)
            EXPECT_EQ(fresh.midi.isOpen(ids[i]), static_cast<int>(i) == c.openedPosition) << i;
        UpdManager::getInstance()->controller->disconnectDevice();
    }
}

TEST_F(Pages, DeviceWithNothingToOfferKeepsOkDisabled)
{
    const auto usb = midi.addPort("Velkor KX-7");
    DeviceFragment page;
    auto* box = findChild<juce::ComboBox>(page, "cbDevice");
    EXPECT_EQ(box->getNumItems(), 0);
    EXPECT_EQ(box->getTextWhenNoChoicesAvailable(), "(no choices)");
    EXPECT_EQ(box->getText(), "");

    click(page, "btnOK");
    EXPECT_FALSE(findChild<juce::TextButton>(page, "btnOK")->isEnabled());
    EXPECT_EQ(midi.openCount(usb), 0);
}

TEST_F(Pages, DeviceOpensTheOldPositionInTheCurrentList)
{
    const auto a = midi.addPort("Interface A");
    midi.addPort("Velkor KX-7");
    const auto b = midi.addPort("Interface B");
    const auto c = midi.addPort("Interface C");

    DeviceFragment page;
    findChild<juce::ComboBox>(page, "cbDevice")
        ->setSelectedId(2, juce::sendNotificationSync); // B, at 2
    midi.removePort(a); // now: Velkor KX-7, Interface B, Interface C

    click(page, "btnOK");
    EXPECT_FALSE(midi.isOpen(b));
    EXPECT_TRUE(midi.isOpen(c)) << "position 2 of the current list";
}
