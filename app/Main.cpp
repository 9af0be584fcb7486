// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TavrinApplication.h"

juce::JUCEApplicationBase* juce_CreateApplication()
{
    return new TavrinApplication();
}

int main(int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main(argc, const_cast<const char**>(argv));
}
