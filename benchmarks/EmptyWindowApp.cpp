// SPDX-License-Identifier: GPL-3.0-or-later
// The least a program built like the updater can do: one window with a native title bar around
// an empty 400 x 150 component. Its start-up time is the yardstick for the updater's.
#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
class EmptyWindowApplication final : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override { return "EmptyWindow"; }
    const juce::String getApplicationVersion() override { return "1.0"; }

    void initialise(const juce::String&) override { window = std::make_unique<Window>(); }
    void shutdown() override { window = nullptr; }

private:
    class Window final : public juce::DocumentWindow
    {
    public:
        // The updater's window colour: what shows once this window has painted.
        Window() : DocumentWindow("Empty window", juce::Colours::lightgrey, 0, true)
        {
            setUsingNativeTitleBar(true);
            auto* content = new juce::Component();
            content->setSize(400, 150);
            setContentOwned(content, true);
            centreWithSize(getWidth(), getHeight());
            setVisible(true);
        }

        void closeButtonPressed() override { juce::JUCEApplication::quit(); }
    };

    std::unique_ptr<Window> window;
};
} // namespace

// As the updater's main: no macro, the same entry into the framework.
juce::JUCEApplicationBase* juce_CreateApplication()
{
    return new EmptyWindowApplication();
}

int main(int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main(argc, const_cast<const char**>(argv));
}
