#include "GuiTestSupport.h"
#include <install/EmbeddedPack.h>
#include <install/PluginSettings.h>
#include "PluginWrittenSettings.h"
#include <app/SetupWindow.h>
#include "TemporaryFolder.h"
#include <app/VOK_SetupWindow.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace
{
    bool isAgreementWindow (juce::Component& modal)    { return modal.getName() == agreementTitle; }

    const juce::String lockFileName (".vok-writer.lock");

    /** Calls its function on the message thread every few milliseconds until it returns false:
        it fires only while the message loop runs, so it is how the tests play the user while
        the installation runs synchronously inside a click.
    */
    class Ticker : private juce::Timer
    {
    public:
        explicit Ticker (std::function<bool()> tickToUse)  : tick (std::move (tickToUse))  { startTimer (25); }
        ~Ticker() override                                  { stopTimer(); }

        int getNumTicks() const noexcept    { return numTicks; }

    private:
        void timerCallback() override
        {
            ++numTicks;

            if (! tick())
                stopTimer();
        }

        std::function<bool()> tick;
        int numTicks = 0;
    };

    /** True when another open file holds the flock on the file, checked through an open file of our own. */
    bool isLockedByAnother (const juce::File& file)
    {
        const auto descriptor = ::open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);

        if (descriptor < 0)
            return false;

        const auto held = flock (descriptor, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        ::close (descriptor);
        return held;
    }

    int countOccurrences (const juce::String& text, const juce::String& part)
    {
        int count = 0;

        for (auto index = text.indexOf (part); index >= 0; index = text.indexOf (index + part.length(), part))
            ++count;

        return count;
    }
}

/**
    The setup window over an impulse directory whose writers' lock another process holds, as a
    `vok add-preset` busy in the same folder would. A second process is the honest holder: a
    flock taken in this process would belong to another open file, but the same process.
*/
class WaitingForAnotherWriter : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QuitRecordingApplication::get().quitRequests = 0;
        ASSERT_TRUE (target.createDirectory());

        // Made as a writer makes it: readable and writable by its owner alone.
        const auto descriptor = ::open (getLockFile().getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        ASSERT_GE (descriptor, 0);
        ::close (descriptor);

        // flock(1) holds the lock for as long as the shell runs; the shell names itself in the
        // lock file as the tool does, then waits until the test lets it go (half a minute at most).
        const juce::String script ("printf 'vok add-preset (process %s)\\n' \"$$\" > \"$1\"\n"
                                   "i=0\n"
                                   "while [ ! -e \"$2\" ] && [ $i -lt 1500 ]; do sleep 0.02; i=$((i + 1)); done\n");

        ASSERT_TRUE (holder.start (juce::StringArray { "flock", getLockFile().getFullPathName(), "sh", "-c", script, "holder",
                                                       getLockFile().getFullPathName(), getReleaseFile().getFullPathName() }));

        for (int waited = 0; waited < 500 && ! getLockFile().loadFileAsString().startsWith ("vok add-preset (process "); ++waited)
            juce::Thread::sleep (20);

        holderText = getLockFile().loadFileAsString();
        ASSERT_TRUE (holderText.startsWith ("vok add-preset (process ")) << "the holder did not start: "
                                                                        << holder.readAllProcessOutput();
        ASSERT_TRUE (isLockedByAnother (getLockFile()));

        PluginWrittenSettings::open (getUserSettings(), false)->setValue ("DEFAULT_IMPULSE_PATH", target.getFullPathName());

        ModalAnswerer agree (isAgreementWindow, [] (juce::Component& modal) { clickButtonIn (modal, "buttonAgree"); });
        window = std::make_unique<SetupWindow> (getUserSettings(), temporary.getFile ("common").getChildFile ("VOK.settings"));
        ASSERT_TRUE (agree.hasAnswered());
        pumpMessages (200);

        ASSERT_EQ (getDirectoryField().getCurrentFileText(), target.getFullPathName());
    }

    void TearDown() override
    {
        window.reset();
        pumpMessages (50);
        letTheHolderGo();

        if (! holder.waitForProcessToFinish (5000))
            holder.kill();
    }

    juce::File getLockFile() const        { return target.getChildFile (lockFileName); }
    juce::File getReleaseFile() const     { return temporary.getFile ("release-the-lock"); }
    juce::File getUserSettings() const    { return temporary.getFile ("user").getChildFile ("VOK.settings"); }
    void letTheHolderGo() const           { getReleaseFile().create(); }

    /** The line the log must show while the run waits, with the holder as it named itself. */
    juce::String getExpectedWaitingLine() const
    {
        return "Waiting for " + holderText.trim() + " to finish changing the files in " + target.getFullPathName();
    }

    VOK_SetupWindow& getPanel()
    {
        auto* panel = dynamic_cast<VOK_SetupWindow*> (window->getContentComponent());
        jassert (panel != nullptr);
        return *panel;
    }

    juce::FilenameComponent& getDirectoryField()
    {
        auto* field = dynamic_cast<juce::FilenameComponent*> (findDescendant (getPanel(), "new component"));
        jassert (field != nullptr);
        return *field;
    }

    juce::String getLogText()
    {
        auto* log = dynamic_cast<juce::TextEditor*> (findDescendant (getPanel(), "new text editor"));
        jassert (log != nullptr);
        return log->getText();
    }

    juce::Button& getButton (const juce::String& text)
    {
        auto* button = dynamic_cast<juce::Button*> (findDescendant (getPanel(), "new button", text));
        jassert (button != nullptr);
        return *button;
    }

    juce::Array<juce::File> getEntriesOfTarget() const
    {
        return target.findChildFiles (juce::File::findFilesAndDirectories, false, "*");
    }

    TemporaryFolder temporary { "vok-wait-test" };
    const juce::File target { temporary.getFile ("Impulses") };
    juce::ChildProcess holder;
    juce::String holderText;
    std::unique_ptr<SetupWindow> window;
};

TEST_F (WaitingForAnotherWriter, TheWindowAnswersMeanwhileAndTheInstallationFollowsOnceTheWriterIsDone)
{
    juce::Image snapshot;
    juce::String logWhileWaiting;
    int entriesWhileWaiting = -1, ticksSeenWaiting = 0;
    bool closeShownWhileWaiting = false;

    const auto numPanelChildren = getPanel().getNumChildComponents();

    // Each tick is a message the window handled while the installation ran inside the click:
    // it answers only if the wait runs the message loop. So does the second's fade of "Install"
    // and "Cancel", whose images stand in the panel until it has run to its end.
    Ticker user ([&]
    {
        if (! getLogText().contains (getExpectedWaitingLine()))
            return true;

        if (++ticksSeenWaiting < 5 || getPanel().getNumChildComponents() != numPanelChildren)
            return true;

        snapshot = getPanel().createComponentSnapshot (getPanel().getLocalBounds(), true, 1.0f);
        logWhileWaiting = getLogText();
        entriesWhileWaiting = getEntriesOfTarget().size();
        closeShownWhileWaiting = getButton ("Close").isShowing();
        letTheHolderGo();
        return false;
    });

    juce::String message;
    ModalAnswerer answerer ([] (juce::Component& modal) { return dynamic_cast<juce::AlertWindow*> (&modal) != nullptr; },
                            [&] (juce::Component& modal)
    {
        message = dynamic_cast<juce::AlertWindow&> (modal).getDescription();
        modal.exitModalState (0);
    }, 90000);

    getButton ("Install").triggerClick();

    for (int i = 0; i < 1800 && ! answerer.hasAnswered(); ++i)
        pumpMessages (50);

    ASSERT_TRUE (snapshot.isValid()) << "the window did not answer while the run waited; log:\n" << getLogText();
    EXPECT_GE (ticksSeenWaiting, 5);
    EXPECT_TRUE (closeShownWhileWaiting);
    // Only the lock file: nothing is written while the other writer holds it, and the ticks came
    // during the wait, not after it.
    EXPECT_EQ (entriesWhileWaiting, 1);

    const auto screenshot = juce::File (VOK_TEST_SCREENSHOT_DIR).getChildFile ("setup-waiting-for-another-writer.png");
    screenshot.getParentDirectory().createDirectory();
    screenshot.deleteFile();
    {
        juce::FileOutputStream out (screenshot);
        ASSERT_TRUE (out.openedOk());
        EXPECT_TRUE (juce::PNGImageFormat().writeImageToStream (snapshot, out));
    }

    EXPECT_TRUE (message.contains ("Installation successfully!")) << message << "\nlog:\n" << getLogText();
    EXPECT_EQ (target.findChildFiles (juce::File::findFiles, false, "*.vok").size(), EmbeddedPack::getEntries().size());

    // Logged once, however long the wait.
    EXPECT_EQ (countOccurrences (logWhileWaiting, getExpectedWaitingLine()), 1) << logWhileWaiting;
    EXPECT_EQ (countOccurrences (getLogText(), "Waiting for "), 1) << getLogText();

    // The installer took the lock after the other writer and named itself in turn.
    EXPECT_EQ (getLockFile().loadFileAsString(), "VOK Setup (process " + juce::String ((int) getpid()) + ")\n");
    EXPECT_EQ (QuitRecordingApplication::get().quitRequests, 0);
}

//==============================================================================
/** "Close" asks the application to quit, which can't be taken back in this process: this
    suite runs in a process of its own.
*/
class ClosingWhileWaiting : public WaitingForAnotherWriter
{
protected:
    void SetUp() override
    {
        if (::testing::UnitTest::GetInstance()->test_to_run_count() > 1)
            GTEST_SKIP() << "runs alone: once the application was asked to quit, no later test could run a message loop";

        WaitingForAnotherWriter::SetUp();
        QuitRecordingApplication::get().passQuitRequestsOn = true;
    }

    void TearDown() override
    {
        QuitRecordingApplication::get().passQuitRequestsOn = false;
        WaitingForAnotherWriter::TearDown();
    }
};

TEST_F (ClosingWhileWaiting, GivesTheWaitUpAndLeavesTheOtherWriterAlone)
{
    bool sawWaitingLine = false;

    Ticker user ([&]
    {
        if (! getLogText().contains (getExpectedWaitingLine()))
            return true;

        sawWaitingLine = true;
        getButton ("Close").triggerClick();
        return false;
    });

    // What "Install" does, apart from the box it shows after a run that succeeded.
    const auto succeeded = getPanel().runInstallation();

    EXPECT_FALSE (succeeded);
    EXPECT_TRUE (sawWaitingLine) << getLogText();
    EXPECT_EQ (QuitRecordingApplication::get().quitRequests, 1);

    const auto log = getLogText();
    EXPECT_TRUE (log.contains ("Gave up waiting for the files in " + target.getFullPathName() + "\n")) << log;
    EXPECT_TRUE (log.trimEnd().endsWith ("Installation aborted")) << log;

    // The run ended before the holder let go, wrote nothing and left the holder as it was.
    EXPECT_TRUE (holder.isRunning());
    ASSERT_EQ (getEntriesOfTarget().size(), 1);
    EXPECT_EQ (getEntriesOfTarget()[0], getLockFile());
    EXPECT_EQ (getLockFile().loadFileAsString(), holderText);
    EXPECT_TRUE (isLockedByAnother (getLockFile()));
}
