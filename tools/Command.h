#pragma once

#include <safeio/FolderLock.h>
#include <impulse/VOK_ImpulseFile.h>

#include <juce_core/juce_core.h>

#include <memory>
#include <vector>

/**
    One command of the vok tool ("vok info", "vok resave", ...).

    A command checks its arguments, does its work, prints its results to stdout and
    returns the exit status. A failure is reported by throwing Command::Failure with
    one line of text; the tool prints it on stderr and exits with status failure.

    What every command shares (its usage line, the argument count, loading, locking,
    saving and reporting) is here; what is a command's own is one run function, in a
    file of its own, and one row of getAll's table.
*/
class Command
{
public:
    enum ExitStatus
    {
        success    = 0,
        failure    = 1,
        wrongUsage = 2
    };

    /** One line telling the user what went wrong. */
    struct Failure
    {
        juce::String message;
    };

    /** Does a command's work. @throws Failure, VokMemoryException */
    using Run = int (Command::*) (const juce::StringArray& arguments) const;

    /** Whether the arguments suit a command that takes a varying number of them. */
    using ArgumentCheck = bool (*) (const juce::StringArray& arguments);

    static constexpr int anyNumber = -1;

    /** What the usage and help lines show of a command, what it takes, and what it does. */
    struct Description
    {
        const char* name;               // the word that selects the command, e.g. "info"
        const char* argumentSyntax;     // as the usage line shows them, e.g. "FILE NAME DATA-FILE"
        const char* summary;            // one line for "vok --help"
        int numArguments;               // or anyNumber, with argumentCheck deciding
        Run run;
        ArgumentCheck argumentCheck;    // nullptr where numArguments decides
        const char* details;            // what "vok help COMMAND" adds to the summary, or nullptr
    };

    explicit Command (const Description& descriptionToUse) : description (descriptionToUse) {}

    /** Every command of the tool, in the order "vok --help" lists them. */
    static const std::vector<Command>& getAll();

    juce::String getName() const            { return description.name; }
    juce::String getArgumentSyntax() const  { return description.argumentSyntax; }
    juce::String getDescription() const     { return description.summary; }
    juce::String getDetails() const         { return description.details; }

    /** False makes the tool print the usage line and exit with wrongUsage. */
    bool acceptsArguments (const juce::StringArray& arguments) const;

    /** @throws Failure, VokMemoryException */
    int run (const juce::StringArray& arguments) const      { return (this->*description.run) (arguments); }

    juce::String getUsage() const;

    //==============================================================================
    // Helpers shared by the commands.

    /** A path from the command line, relative to the working directory unless absolute. */
    static juce::File getFileArgument (const juce::String& argument);

    /** Loads a ".vok" or audio file with loadFromFile. @throws Failure with the reason */
    static void loadImpulse (VOK_ImpulseFile& impulse, const juce::File& file,
                             VOK_ImpulseFile::SampleReading samples = VOK_ImpulseFile::SampleReading::decode);

    /** The reason a read or load failed, from the object's last error or read failure. */
    static juce::String describeLoadFailure (const VOK_ImpulseFile& impulse, const juce::File& file);

    /** @throws Failure "Can't save " + path */
    static void saveImpulse (VOK_ImpulseFile& impulse, const juce::File& file);

    /** Locks the folder of a file that the command is about to replace, so that an installation
        or another vok command changing the same folder waits (or this one does), then refuses
        a target that may not be replaced (see ReplaceableTarget).
        @throws Failure when the lock can't be had in time, or with the target's refusal
    */
    std::unique_ptr<FolderLock> lockToReplace (const juce::File& target) const;

    /** The bytes of a file given as an input, up to maxBytes.
        @throws Failure naming the file when it is missing, not a regular file, a link not to
                be followed, larger, or can't be read
    */
    static juce::MemoryBlock readWholeFile (const juce::File& file, juce::int64 maxBytes);

    /** Loads a ".vok" file that is about to be changed: only a regular file, never through a link.
        Its samples are kept as stored, so that saving it copies them unchanged.
        @throws Failure with the reason
    */
    static void loadImpulseToChange (VOK_ImpulseFile& impulse, const juce::File& file);

    /** Writes text to stdout exactly, as UTF-8. */
    static void print (const juce::String& text);

private:
    Description description;

    //==============================================================================
    // The commands, each in its own file.
    int runInfo (const juce::StringArray& arguments) const;
    int runResave (const juce::StringArray& arguments) const;
    int runPresets (const juce::StringArray& arguments) const;
    int runAddPreset (const juce::StringArray& arguments) const;
    int runGetPreset (const juce::StringArray& arguments) const;
    int runFromAudio (const juce::StringArray& arguments) const;
    int runToWav (const juce::StringArray& arguments) const;
    int runInstall (const juce::StringArray& arguments) const;
    static bool acceptsInstallArguments (const juce::StringArray& arguments);
    int runHelp (const juce::StringArray& arguments) const;
    static bool acceptsHelpArguments (const juce::StringArray& arguments);
    int runRender (const juce::StringArray& arguments) const;
    static bool acceptsRenderArguments (const juce::StringArray& arguments);
};
