// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/DeviceFragment.h"

#include "midi/SysExController.h"
#include "text/Formatted.h"
#include "text/TextLoader.h"
#include "update/UpdManager.h"
#include "wizard/PageParts.h"
#include "wizard/WizardState.h"

DeviceFragment::DeviceFragment()
{
    btnOK = PageParts::makeButton(*this, *this, "btnOK", "OK");
    btnCancel = PageParts::makeButton(*this, *this, "btnCancel", "Cancel");
    cbDevice = PageParts::makeComboBox(*this, *this, "cbDevice");
    lblHeader = PageParts::makeHeader(*this);
    lblText = PageParts::makeText(*this);

    setSize(400, 150);

    auto offered = getMidiOutputService().getDevices();
    excludeDevice(offered, "Velkor KX-7");
    excludeDevice(offered, "Microsoft GS Wavetable Synth");
    cbDevice->addItemList(offered, 1);

    btnOK->setEnabled(false);
    updateText();
}

DeviceFragment::~DeviceFragment()
{
    btnOK.reset();
    btnCancel.reset();
    cbDevice.reset();
    lblHeader.reset();
    lblText.reset();
}

void DeviceFragment::paint(juce::Graphics& g)
{
    PageParts::fillBackground(g);
}

void DeviceFragment::resized()
{
    const auto w = getWidth(), h = getHeight();
    btnOK->setBounds(PageParts::okBounds(w, h));
    btnCancel->setBounds(PageParts::cancelBounds(w, h));
    cbDevice->setBounds(PageParts::comboBoxBounds(w, h));
    lblHeader->setBounds(PageParts::headerBounds(w));
    lblText->setBounds(PageParts::textLineBounds(w));
}

void DeviceFragment::updateText()
{
    auto* text = TextLoader::getInstance();
    lblHeader->setText(text->getString(27), juce::sendNotification);
    lblText->setText(formatted(text->getUTF8(28), "VELKOR KX-7"), juce::sendNotification);
    btnCancel->setButtonText(text->getString(11));
    btnOK->setButtonText(text->getString(9));
}

void DeviceFragment::excludeDevice(juce::StringArray& list, juce::StringRef name)
{
    const auto all = getMidiOutputService().getDevices();

    for (int i = all.indexOf(name, true); i >= 0; i = all.indexOf(name, true, i + 1))
        excludedPositions.add(i);

    list.removeString(name, true);
}

int DeviceFragment::portPositionOf(int itemId)
{
    if (itemId <= 0)
        return -1;

    auto position = itemId - 1;
    excludedPositions.sort();

    for (const auto excluded : excludedPositions)
    {
        if (excluded > position)
            break;
        ++position;
    }
    return position;
}

void DeviceFragment::comboBoxChanged(juce::ComboBox* box)
{
    if (box == cbDevice.get())
        btnOK->setEnabled(cbDevice->getSelectedId() > 0);
}

void DeviceFragment::buttonClicked(juce::Button* button)
{
    if (button == btnOK.get())
    {
        const auto position = portPositionOf(cbDevice->getSelectedId());
        const auto opened = UpdManager::getInstance()->controller->connectDevice(position);
        PageParts::requestState(*this, opened ? WizardState::Version : WizardState::NotConnected);
    }
    else if (button == btnCancel.get())
    {
        PageParts::requestState(*this, WizardState::Quit);
    }
}
