#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include <gtest/gtest.h>

#include <functional>

/**
    Stands in for the installer's application object, so that the windows' quit requests
    can be counted instead of ending the test program.
*/
class QuitRecordingApplication : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override     { return "VOK Setup tests"; }
    const juce::String getApplicationVersion() override  { return "1.0"; }
    void initialise (const juce::String&) override       {}
    void shutdown() override                              {}
    void systemRequestedQuit() override
    {
        ++quitRequests;

        // As the installer's own application object does; a stop can't be taken back, so a
        // test that sets this needs a process of its own.
        if (passQuitRequestsOn)
            quit();
    }

    int quitRequests = 0;
    bool passQuitRequestsOn = false;

    static QuitRecordingApplication& get();
};

/** Starts the framework's GUI side once for the whole test program, on the main thread. */
class GuiTestEnvironment : public ::testing::Environment
{
public:
    void SetUp() override;
    void TearDown() override;

private:
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> juce;
    std::unique_ptr<QuitRecordingApplication> application;
};

/**
    Plays the user in front of a modal window: it waits on the message thread (inside the
    window's own modal loop) until the modal component satisfies `isTarget`, then runs
    `answer` on it once. Should nothing turn up within the time limit, it ends whatever modal
    state there is, so that a failing test ends instead of hanging.
*/
class ModalAnswerer : private juce::Timer
{
public:
    using Predicate = std::function<bool (juce::Component&)>;
    using Action = std::function<void (juce::Component&)>;

    ModalAnswerer (Predicate isTarget, Action answer, int timeLimitMs = 10000);
    ~ModalAnswerer() override;

    bool hasAnswered() const noexcept   { return answered; }

private:
    void timerCallback() override;

    Predicate isTarget;
    Action answer;
    bool answered = false;
    juce::uint32 deadline;
};

/** The first component below `parent` (depth first) with this name and, if given, button text. */
juce::Component* findDescendant (juce::Component& parent, const juce::String& name,
                                 const juce::String& buttonText = {});

/** Clicks the named button inside `window`, as the user's mouse would (asynchronously). */
void clickButtonIn (juce::Component& window, const juce::String& name, const juce::String& buttonText = {});

/** Lets the message loop run for a moment so that posted clicks and repaints are handled. */
void pumpMessages (int milliseconds = 100);

/** The agreement window's title, by which the tests recognise it when it is modal. */
extern const juce::String agreementTitle;
