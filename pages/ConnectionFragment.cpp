// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/ConnectionFragment.h"

#include "midi/SysExController.h"
#include "text/Formatted.h"
#include "text/TextLoader.h"
#include "update/UpdManager.h"
#include "wizard/PageParts.h"
#include "wizard/WizardState.h"

namespace
{
constexpr int usbItem = 1;
constexpr int midiItem = 2;
} // namespace

ConnectionFragment::ConnectionFragment()
{
    btnOK = PageParts::makeButton(*this, *this, "btnOK", "OK");
    btnCancel = PageParts::makeButton(*this, *this, "btnCancel", "cancel");
    cbConnection = PageParts::makeComboBox(*this, *this, "cbConnection");
    lblHeader = PageParts::makeHeader(*this);
    lblText = PageParts::makeText(*this);

    cbConnection->addItem("USB", usbItem);
    cbConnection->addItem("MIDI", midiItem);
    cbConnection->setSelectedId(usbItem, juce::dontSendNotification);

    setSize(400, 150);
    updateText();
}

ConnectionFragment::~ConnectionFragment()
{
    btnOK.reset();
    btnCancel.reset();
    cbConnection.reset();
    lblHeader.reset();
    lblText.reset();
}

void ConnectionFragment::paint(juce::Graphics& g)
{
    PageParts::fillBackground(g);
}

void ConnectionFragment::resized()
{
    const auto w = getWidth(), h = getHeight();
    btnOK->setBounds(PageParts::okBounds(w, h));
    btnCancel->setBounds(PageParts::cancelBounds(w, h));
    cbConnection->setBounds(PageParts::comboBoxBounds(w, h));
    lblHeader->setBounds(PageParts::headerBounds(w));
    lblText->setBounds(PageParts::textLineBounds(w));
}

void ConnectionFragment::updateText()
{
    auto* text = TextLoader::getInstance();
    lblHeader->setText(text->getString(25), juce::sendNotification);
    lblText->setText(formatted(text->getUTF8(26), "VELKOR KX-7"), juce::sendNotification);
    btnCancel->setButtonText(text->getString(11));
    btnOK->setButtonText(text->getString(9));
}

void ConnectionFragment::comboBoxChanged(juce::ComboBox*) {}

void ConnectionFragment::buttonClicked(juce::Button* button)
{
    int state;

    if (button == btnOK.get())
    {
        if (cbConnection->getSelectedId() == usbItem)
        {
            const auto opened = UpdManager::getInstance()->controller->connectDevice("Velkor KX-7");
            state = opened ? WizardState::Version : WizardState::NotConnected;
        }
        else
        {
            state = WizardState::Device;
        }
    }
    else if (button == btnCancel.get())
    {
        state = WizardState::Quit;
    }
    else
    {
        return;
    }

    PageParts::requestState(*this, state);
}
