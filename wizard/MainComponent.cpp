// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizard/MainComponent.h"

#include "lookandfeel/CustomLookAndFeel.h"
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

MainComponent::MainComponent() : customLookAndFeel(std::make_unique<CustomLookAndFeel>())
{
    juce::LookAndFeel::setDefaultLookAndFeel(customLookAndFeel.get());
    replacePage();
}

MainComponent::~MainComponent()
{
    // A page that runs the transfer waits for it when deleted; it must go before the update
    // manager, whose controller and message the transfer thread is still using.
    if (dynamic_cast<juce::Thread*>(currentPage.get()) != nullptr)
        currentPage.reset();

    TextLoader::deleteInstance();
    UpdManager::deleteInstance();
    customLookAndFeel.reset();
    currentPage.reset();
}

void MainComponent::setState(juce::Component* page, int newState)
{
    if (newState == currentState || static_cast<unsigned>(newState) > WizardState::Quit)
        return;

    previousState = currentState;
    currentState = newState;
    needsNewPage = true;

    if (page != nullptr)
        page->setVisible(false);
}

void MainComponent::setTitle(const juce::String& title) const
{
    if (auto* window = dynamic_cast<juce::TopLevelWindow*>(getParentComponent()))
        window->setName(title);
}

void MainComponent::parentHierarchyChanged()
{
    setTitle(TextLoader::getInstance()->getString(8));
}

void MainComponent::componentVisibilityChanged(juce::Component& component)
{
    if (component.isVisible())
    {
        setSize(component.getWidth(), component.getHeight());
        return;
    }

    if (needsNewPage)
        replacePage();
}

void MainComponent::replacePage()
{
    auto next = getNextFragment();
    auto old = std::move(currentPage);
    currentPage = std::move(next);
    old.reset();

    if (currentPage != nullptr)
    {
        currentPage->addComponentListener(this);
        addAndMakeVisible(currentPage.get(), -1);
    }
    else if (auto* app = juce::JUCEApplication::getInstance())
    {
        app->systemRequestedQuit();
    }
}

std::unique_ptr<Fragment> MainComponent::getNextFragment()
{
    needsNewPage = false;
    const int viaMidi = previousState != WizardState::Connection ? 1 : 0;

    switch (currentState)
    {
    case WizardState::Start:
    case WizardState::Language:
        return std::make_unique<LanguageFragment>();
    case WizardState::Connection:
        return std::make_unique<ConnectionFragment>();
    case WizardState::Device:
        return std::make_unique<DeviceFragment>();
    case WizardState::Version:
        return std::make_unique<VersionFragment>(viaMidi);
    case WizardState::Progress:
        return std::make_unique<ProgressFragment>();
    case WizardState::Finish:
        return std::make_unique<FinishFragment>();
    case WizardState::FileError:
    case WizardState::NotConnected:
    case WizardState::TransferFailed:
        return std::make_unique<ErrorFragment>(currentState, viaMidi);
    default:
        return nullptr;
    }
}
