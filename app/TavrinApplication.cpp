// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TavrinApplication.h"

#include "app/QuitSignals.h"
#include "wizard/MainComponent.h"

TavrinApplication::TavrinApplication() = default;
TavrinApplication::~TavrinApplication() = default;

const juce::String TavrinApplication::getApplicationName()
{
    return "Tavrin";
}

const juce::String TavrinApplication::getApplicationVersion()
{
    return "0.6.3";
}

bool TavrinApplication::moreThanOneInstanceAllowed()
{
    return false;
}

void TavrinApplication::initialise(const juce::String&)
{
    quitSignals = std::make_unique<QuitSignals>([this] { systemRequestedQuit(); });
    mainWindow = std::make_unique<MainWindow>(getApplicationName());
}

void TavrinApplication::shutdown()
{
    mainWindow = nullptr;
    quitSignals = nullptr;
}

void TavrinApplication::anotherInstanceStarted(const juce::String&)
{
    if (mainWindow != nullptr && mainWindow->isVisible())
        mainWindow->toFront(true);
}

void TavrinApplication::systemRequestedQuit()
{
    quit();
}

TavrinApplication::MainWindow::MainWindow(const juce::String& name)
    : DocumentWindow(name, juce::Colours::lightgrey, 0, true)
{
    setUsingNativeTitleBar(true);
    setContentOwned(new MainComponent(), true);
    setResizable(false, false);
    centreWithSize(getWidth(), getHeight());
    setVisible(true);
    setAlwaysOnTop(true);
}

void TavrinApplication::MainWindow::closeButtonPressed()
{
    if (auto* app = juce::JUCEApplication::getInstance())
        app->systemRequestedQuit();
}
