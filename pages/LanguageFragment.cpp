// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/LanguageFragment.h"

#include "text/TextLoader.h"
#include "update/UpdManager.h"
#include "wizard/MainComponent.h"
#include "wizard/PageParts.h"
#include "wizard/WizardState.h"

LanguageFragment::LanguageFragment()
{
    btnOK = PageParts::makeButton(*this, *this, "btnOK", "OK");
    btnCancel = PageParts::makeButton(*this, *this, "btnCancel", "Cancel");
    cbLanguage = PageParts::makeComboBox(*this, *this, "cbLanguage");
    lblHeader = PageParts::makeHeader(*this);
    lblText = PageParts::makeText(*this);

    setSize(400, 150);

    auto* text = TextLoader::getInstance();
    for (juce::uint32 i = 0; i < 12; ++i)
        cbLanguage->addItem(text->getLang(i), static_cast<int>(i) + 1);

    // Delivered once the message loop runs, after the window is shown: it sets the full title.
    cbLanguage->setSelectedId(static_cast<int>(text->getLocale()) + 1, juce::sendNotificationAsync);

    updateText();
}

LanguageFragment::~LanguageFragment()
{
    btnOK.reset();
    btnCancel.reset();
    cbLanguage.reset();
    lblHeader.reset();
    lblText.reset();
}

void LanguageFragment::paint(juce::Graphics& g)
{
    PageParts::fillBackground(g);
}

void LanguageFragment::resized()
{
    const auto w = getWidth(), h = getHeight();
    btnOK->setBounds(PageParts::okBounds(w, h));
    btnCancel->setBounds(PageParts::cancelBounds(w, h));
    cbLanguage->setBounds(PageParts::comboBoxBounds(w, h));
    lblHeader->setBounds(PageParts::headerBounds(w));
    lblText->setBounds(PageParts::textLineBounds(w));
}

void LanguageFragment::updateText()
{
    auto* text = TextLoader::getInstance();
    lblHeader->setText(text->getString(13), juce::sendNotification);
    lblText->setText(text->getString(14), juce::sendNotification);
    btnCancel->setButtonText(text->getString(11));
    btnOK->setButtonText(text->getString(9));

    if (auto* controller = dynamic_cast<MainComponent*>(getParentComponent()))
        controller->setTitle(text->getString(8) + " v" + "0.6.3");
}

void LanguageFragment::comboBoxChanged(juce::ComboBox* box)
{
    if (box != cbLanguage.get())
        return;

    TextLoader::getInstance()->setLocale(
        static_cast<juce::uint32>(cbLanguage->getSelectedId() - 1));
    updateText();
    cbLanguage->repaint();
}

void LanguageFragment::buttonClicked(juce::Button* button)
{
    if (button == btnOK.get())
    {
        const auto loaded = UpdManager::getInstance()->loadUpd("VELKOR_KX_7_UP.upd", "VELKOR KX-7");
        PageParts::requestState(*this, loaded ? WizardState::Connection : WizardState::FileError);
    }
    else if (button == btnCancel.get())
    {
        PageParts::requestState(*this, WizardState::Quit);
    }
}
