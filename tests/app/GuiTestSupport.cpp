#include "GuiTestSupport.h"

const juce::String agreementTitle ("VOK2 License and Legal Information");

QuitRecordingApplication& QuitRecordingApplication::get()
{
    auto* application = dynamic_cast<QuitRecordingApplication*> (juce::JUCEApplicationBase::getInstance());
    jassert (application != nullptr);
    return *application;
}

void GuiTestEnvironment::SetUp()
{
    // Marks this process as a stand-alone application, as the installer is: the framework then
    // installs its X error handlers, which absorb the harmless errors some window properties
    // cause on a display without a window manager.
    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return nullptr; };

    juce = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
    application = std::make_unique<QuitRecordingApplication>();
}

void GuiTestEnvironment::TearDown()
{
    application.reset();
    pumpMessages (50);
    juce.reset();
}

ModalAnswerer::ModalAnswerer (Predicate isTargetToUse, Action answerToGive, int timeLimitMs)
    : isTarget (std::move (isTargetToUse)),
      answer (std::move (answerToGive)),
      deadline (juce::Time::getMillisecondCounter() + (juce::uint32) timeLimitMs)
{
    startTimer (20);
}

ModalAnswerer::~ModalAnswerer()
{
    stopTimer();
}

void ModalAnswerer::timerCallback()
{
    auto* modal = juce::Component::getCurrentlyModalComponent();

    if (modal != nullptr && isTarget (*modal))
    {
        stopTimer();
        answered = true;
        answer (*modal);
        return;
    }

    if (juce::Time::getMillisecondCounter() > deadline)
    {
        stopTimer();
        ADD_FAILURE() << "the expected modal window did not appear";

        if (modal != nullptr)
            modal->exitModalState (-99);
    }
}

juce::Component* findDescendant (juce::Component& parent, const juce::String& name, const juce::String& buttonText)
{
    for (auto* child : parent.getChildren())
    {
        auto* button = dynamic_cast<juce::Button*> (child);
        auto textMatches = buttonText.isEmpty() || (button != nullptr && button->getButtonText() == buttonText);

        if (child->getName() == name && textMatches)
            return child;

        if (auto* found = findDescendant (*child, name, buttonText))
            return found;
    }

    return nullptr;
}

void clickButtonIn (juce::Component& window, const juce::String& name, const juce::String& buttonText)
{
    auto* button = dynamic_cast<juce::Button*> (findDescendant (window, name, buttonText));
    ASSERT_NE (button, nullptr) << "no button " << name << " " << buttonText;
    button->triggerClick();
}

void pumpMessages (int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
}
