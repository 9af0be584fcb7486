// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/VersionFragment.h"

#include "text/Formatted.h"
#include "text/TextLoader.h"
#include "update/UpdManager.h"
#include "wizard/PageParts.h"
#include "wizard/WizardState.h"

VersionFragment::VersionFragment(int midi) : viaMidi(midi)
{
    btnOK = PageParts::makeButton(*this, *this, "btnOK", "OK");
    btnCancel = PageParts::makeButton(*this, *this, "btnCancel", "Cancel");
    lblHeader = PageParts::makeHeader(*this);
    lblText = PageParts::makeText(*this);
    lblInstructions = PageParts::makeText(*this);

    setSize(480, 240);
    updateText();
}

VersionFragment::~VersionFragment()
{
    btnOK.reset();
    btnCancel.reset();
    lblHeader.reset();
    lblText.reset();
    lblInstructions.reset();
}

void VersionFragment::paint(juce::Graphics& g)
{
    PageParts::fillBackground(g);
}

void VersionFragment::resized()
{
    const auto w = getWidth(), h = getHeight();
    btnOK->setBounds(PageParts::okBounds(w, h));
    btnCancel->setBounds(PageParts::cancelBounds(w, h));
    lblHeader->setBounds(PageParts::headerBounds(w));
    lblText->setBounds(PageParts::textLineBounds(w));
    lblInstructions->setBounds(20, 70, w - 40, h - 120);
}

void VersionFragment::updateText()
{
    auto* t = TextLoader::getInstance();
    const auto* method = t->getUTF8(viaMidi == 0 ? 6 : 7);

    // The version text is an argument, never part of a format: a '%' in it shows as it is.
    const auto instructions = formatted(t->getUTF8(33), "VELKOR KX-7") + "\n\n" +
                              formatted(t->getUTF8(34), t->getUTF8(1), t->getUTF8(4)) + "\n" +
                              formatted(t->getUTF8(35), t->getUTF8(2), t->getUTF8(5)) + "\n" +
                              formatted(t->getUTF8(36), t->getUTF8(3), method) + "\n" +
                              formatted(t->getUTF8(37), t->getUTF8(1), t->getUTF8(4)) + "\n";

    lblHeader->setText(formatted(t->getUTF8(17), "VELKOR KX-7"), juce::sendNotification);
    lblText->setText(formatted(t->getUTF8(19), UpdManager::getInstance()->version.toRawUTF8()),
                     juce::sendNotification);
    lblInstructions->setText(instructions, juce::sendNotification);
    btnCancel->setButtonText(t->getString(12));
    btnOK->setButtonText(t->getString(10));
}

void VersionFragment::buttonClicked(juce::Button* button)
{
    if (button == btnOK.get())
        PageParts::requestState(*this, WizardState::Progress);
    else if (button == btnCancel.get())
        PageParts::requestState(*this, WizardState::Quit);
}
