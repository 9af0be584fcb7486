// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/ErrorFragment.h"

#include "BinaryData.h"
#include "text/Formatted.h"
#include "text/TextLoader.h"
#include "wizard/PageParts.h"
#include "wizard/WizardState.h"

ErrorFragment::ErrorFragment(int state, int midi) : errorState(state), viaMidi(midi)
{
    btnOK = PageParts::makeButton(*this, *this, "btnOK", "OK");
    lblText = PageParts::makeText(*this);
    warningImage =
        juce::Drawable::createFromImageData(BinaryData::warning_png, BinaryData::warning_pngSize);

    setSize(400, 150);
    updateText();
}

ErrorFragment::~ErrorFragment()
{
    btnOK.reset();
    lblText.reset();
    warningImage.reset();
}

void ErrorFragment::paint(juce::Graphics& g)
{
    PageParts::fillBackground(g);
    g.setColour(juce::Colours::black);

    // Stretched to fill the square exactly, as the artwork is drawn for it.
    if (warningImage != nullptr)
        warningImage->drawWithin(g, {20.0f, 15.0f, 64.0f, 64.0f}, juce::RectanglePlacement(64),
                                 1.0f);
}

void ErrorFragment::resized()
{
    const auto w = getWidth(), h = getHeight();
    btnOK->setBounds(PageParts::okBounds(w, h));
    lblText->setBounds(105, 20, w - 125, h - 70);
}

void ErrorFragment::updateText()
{
    auto* text = TextLoader::getInstance();

    if (errorState == WizardState::FileError)
        lblText->setText(text->getString(15), juce::sendNotification);
    else if (errorState == WizardState::NotConnected)
        lblText->setText(formatted(text->getUTF8(16), "VELKOR KX-7") + " : " +
                             (viaMidi != 0 ? "MIDI" : "USB"),
                         juce::sendNotification);
    else if (errorState == WizardState::TransferFailed)
        lblText->setText(text->getString(23) + "\n" + text->getString(24), juce::sendNotification);

    btnOK->setButtonText(text->getString(9));
}

void ErrorFragment::buttonClicked(juce::Button* button)
{
    if (button == btnOK.get())
        PageParts::requestState(*this, WizardState::Quit);
}
