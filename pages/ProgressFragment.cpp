// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/ProgressFragment.h"

#include "midi/SysExController.h"
#include "text/Formatted.h"
#include "text/TextLoader.h"
#include "update/UpdManager.h"
#include "wizard/PageParts.h"
#include "wizard/WizardState.h"

ProgressFragment::ProgressFragment() : juce::Thread(getName()), progress(-1.0)
{
    lblHeader = PageParts::makeHeader(*this);
    lblText = PageParts::makeText(*this);
    pbWait = std::make_unique<juce::ProgressBar>(progress);
    addAndMakeVisible(pbWait.get());
    pbWait->setName("pbWait");
    lblNote = PageParts::makeText(*this);

    setSize(400, 200);
    updateText();
    startThread();
}

ProgressFragment::~ProgressFragment()
{
    stopThread(-1);
    lblHeader.reset();
    lblText.reset();
    pbWait.reset();
    lblNote.reset();
}

void ProgressFragment::paint(juce::Graphics& g)
{
    PageParts::fillBackground(g);
}

void ProgressFragment::resized()
{
    const auto w = getWidth(), h = getHeight();
    lblHeader->setBounds(PageParts::headerBounds(w));
    lblText->setBounds(PageParts::textLineBounds(w));
    pbWait->setBounds(20, 80, w - 40, 20);
    lblNote->setBounds(20, 120, w - 40, h - 140);
}

void ProgressFragment::updateText()
{
    auto* text = TextLoader::getInstance();
    lblHeader->setText(formatted(text->getUTF8(20), "VELKOR KX-7"), juce::sendNotification);
    lblText->setText(text->getString(29) + text->getString(30), juce::sendNotification);
    lblNote->setText(formatted(text->getUTF8(38), "VELKOR KX-7") + "\n" + text->getString(39),
                     juce::sendNotification);
}

void ProgressFragment::run()
{
    auto* manager = UpdManager::getInstance();
    auto& controller = *manager->controller;

    transferred = manager->message != nullptr && controller.sendMessage(*manager->message);
    controller.disconnectDevice();
    triggerAsyncUpdate();
}

void ProgressFragment::handleAsyncUpdate()
{
    PageParts::requestState(*this, transferred ? WizardState::Finish : WizardState::TransferFailed);
}
