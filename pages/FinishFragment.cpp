// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/FinishFragment.h"

#include "text/Formatted.h"
#include "text/TextLoader.h"
#include "wizard/PageParts.h"
#include "wizard/WizardState.h"

FinishFragment::FinishFragment()
{
    btnOK = PageParts::makeButton(*this, *this, "btnOK", "OK");
    lblHeader = PageParts::makeHeader(*this);
    lblText = PageParts::makeText(*this);

    setSize(400, 170);
    updateText();
}

FinishFragment::~FinishFragment()
{
    btnOK.reset();
    lblHeader.reset();
    lblText.reset();
}

void FinishFragment::paint(juce::Graphics& g)
{
    PageParts::fillBackground(g);
}

void FinishFragment::resized()
{
    const auto w = getWidth(), h = getHeight();
    btnOK->setBounds(PageParts::okBounds(w, h));
    lblHeader->setBounds(PageParts::headerBounds(w));
    lblText->setBounds(40, 40, w - 60, h - 90);
}

void FinishFragment::updateText()
{
    auto* text = TextLoader::getInstance();
    lblHeader->setText(formatted(text->getUTF8(20), "VELKOR KX-7"), juce::sendNotification);
    lblText->setText(text->getString(40) + "\n" + formatted(text->getUTF8(32), "VELKOR KX-7") +
                         "\n" + formatted(text->getUTF8(31), "VELKOR KX-7"),
                     juce::sendNotification);
    btnOK->setButtonText(text->getString(9));
}

void FinishFragment::buttonClicked(juce::Button* button)
{
    if (button == btnOK.get())
        PageParts::requestState(*this, WizardState::Quit);
}
