// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "wizard/Fragment.h"

class CustomLookAndFeel;

// The wizard's controller and the main window's content: holds the state, owns the one page on
// show and replaces it when a page asks for a new state. The replacement is driven by the old
// page's visibility, so it happens synchronously inside the page's call to setState.
class MainComponent : public juce::Component, public juce::ComponentListener
{
public:
    MainComponent();
    ~MainComponent() override;

    // Called by a page, passing itself, as the last action of a handler: the page is deleted
    // before this returns when the request is accepted.
    void setState(juce::Component* page, int newState);

    // Sets the main window's title, when the controller is a window's content.
    void setTitle(const juce::String& title) const;

    int getState() const noexcept { return currentState; }
    Fragment* getPage() const noexcept { return currentPage.get(); }

    void parentHierarchyChanged() override;
    void componentVisibilityChanged(juce::Component& component) override;

private:
    // The page for the current state, or null when none must be built (no new state, or Quit).
    std::unique_ptr<Fragment> getNextFragment();
    void replacePage();

    bool needsNewPage = true;
    int currentState = 0;
    int previousState = 0;
    std::unique_ptr<Fragment> currentPage;
    std::unique_ptr<CustomLookAndFeel> customLookAndFeel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(MainComponent)
};
