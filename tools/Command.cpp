#include "Command.h"
#include <safeio/FileReplacement.h>
#include <safeio/RegularFileInput.h>
#include <safeio/ReplaceableTarget.h>

#include <cstdio>

juce::String Command::getUsage() const
{
    return "Usage: vok " + getName() + " " + getArgumentSyntax();
}

const std::vector<Command>& Command::getAll()
{
    static const std::vector<Command> commands
    {
        Command ({ "info", "FILE", "print what the reader makes of an impulse file, as JSON", 1, &Command::runInfo, nullptr,
                   "The object gives the file's path, whether it read whole (read_ok), its version, sample "
                   "rate, channels and samples per channel, whether its samples are scrambled, the length of "
                   "its picture text, its presets, the SHA-256 of each channel's samples, the reader's log "
                   "and the last error." }),
        Command ({ "resave", "IN OUT", "read an impulse file and write it to OUT in the current layout", 2,
                   &Command::runResave, nullptr,
                   "Presets, the picture and the samples are carried over; OUT is replaced only once the new "
                   "file is complete, and never when IN could not be read whole." }),
        Command ({ "presets", "FILE", "list the preset names of FILE, one per line, in list order", 1,
                   &Command::runPresets, nullptr, nullptr }),
        Command ({ "add-preset", "FILE NAME DATA-FILE",
                   "add the preset NAME (or replace it, ignoring case) with the text of DATA-FILE, and save FILE", 3,
                   &Command::runAddPreset, nullptr,
                   "DATA-FILE holds the preset's data as UTF-8 text. FILE is replaced only once the new file "
                   "is complete; an installation or another vok command changing the same folder waits "
                   "for this one." }),
        Command ({ "get-preset", "FILE NAME", "print the data of the preset NAME (matched ignoring case) of FILE", 2,
                   &Command::runGetPreset, nullptr, nullptr }),
        Command ({ "from-audio", "AUDIO OUT.vok",
                   "build a new impulse from a WAV, AIFF, FLAC or Ogg Vorbis file and save it as OUT.vok", 2,
                   &Command::runFromAudio, nullptr,
                   "The new file has the audio's channels and sample rate, no presets and no picture." }),
        Command ({ "to-wav", "IN.vok OUT.wav",
                   "write the samples of an impulse as a 32-bit float WAV file with all its channels", 2,
                   &Command::runToWav, nullptr, nullptr }),
        Command ({ "install", "DIR [--user-settings FILE] [--common-settings FILE]",
                   "install the pack into DIR and record DIR in the plug-in's settings (default: the real settings files)",
                   anyNumber, &Command::runInstall, &Command::acceptsInstallArguments,
                   "The 24 impulse files of the Rooms pack are written into DIR, created if missing; presets the "
                   "user added to an older file of the same name are carried into the new one. DIR is then "
                   "recorded as the plug-in's impulse folder in its per-user and all-users settings files, "
                   "or in the files given." }),
        Command ({ "help", "[COMMAND]", "list the commands, or show one command's help", anyNumber,
                   &Command::runHelp, &Command::acceptsHelpArguments, nullptr }),
       #if VOK_RENDER
        Command ({ "render", "IMPULSE.vok DRY OUT.wav [--wet DB] [--dry DB]",
                   "convolve the recording DRY with the impulse into a stereo 32-bit float WAV file (wet at 0 dB, dry off by default)",
                   anyNumber, &Command::runRender, &Command::acceptsRenderArguments,
                   "DRY may be a WAV, AIFF, FLAC or Ogg Vorbis file, mono or stereo. A stereo impulse feeds "
                   "the recording's left channel through its first path and its right through its second; a "
                   "true-stereo impulse feeds left through L->L and L->R, and right through R->L and R->R; a "
                   "mono recording feeds both. OUT.wav has the recording's rate (an impulse at another rate "
                   "is resampled) and lasts as long as the recording plus the impulse's tail; --wet and --dry "
                   "set the two levels in dB. A progress bar goes to stderr when it is a terminal." }),
       #endif
    };

    return commands;
}

bool Command::acceptsArguments (const juce::StringArray& arguments) const
{
    if (description.argumentCheck != nullptr)
        return description.argumentCheck (arguments);

    return arguments.size() == description.numArguments;
}

juce::File Command::getFileArgument (const juce::String& argument)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile (argument);
}

juce::String Command::describeLoadFailure (const VOK_ImpulseFile& impulse, const juce::File& file)
{
    // A missing file, or why an audio file was refused, is a whole message of its own.
    if (impulse.getLastError().isNotEmpty())
        return impulse.getLastError();

    const auto& failure = impulse.getReadFailure();

    switch (failure.cause)
    {
        case ReadFailure::Cause::unreadable:
        case ReadFailure::Cause::headerNotParsed:
        case ReadFailure::Cause::recordRefused:
        case ReadFailure::Cause::disagreesWithHeader:
            return "Can't read " + file.getFullPathName() + ": " + failure.reason;

        case ReadFailure::Cause::none:
        case ReadFailure::Cause::notFound:
        default:
            return "Can't read " + file.getFullPathName() + ": not an impulse or audio file of a known format";
    }
}

void Command::loadImpulse (VOK_ImpulseFile& impulse, const juce::File& file, VOK_ImpulseFile::SampleReading samples)
{
    if (! impulse.loadFromFile (file.getFullPathName(), samples))
        throw Failure { describeLoadFailure (impulse, file) };
}

void Command::saveImpulse (VOK_ImpulseFile& impulse, const juce::File& file)
{
    if (! impulse.saveToFile (file.getFullPathName()))
        throw Failure { "Can't save " + file.getFullPathName()
                          + (impulse.getLastError().isNotEmpty() ? ": " + impulse.getLastError() : juce::String()) };
}

std::unique_ptr<FolderLock> Command::lockToReplace (const juce::File& target) const
{
    juce::String failure;
    const auto folder = OpenFolder::openParentOf (target, OpenFolder::Missing::fail, failure);

    // A folder that can't be opened holds nothing to lose; writing there fails with its own message.
    if (folder == nullptr)
        return {};

    bool toldWaiting = false;
    auto lock = std::make_unique<FolderLock> (*folder, "vok " + getName(), FolderLock::defaultTimeoutMs, [&] (const juce::String& holder)
    {
        if (! std::exchange (toldWaiting, true))
            std::fprintf (stderr, "%s\n", FolderLock::describeWaiting (folder->getFile(), holder).toRawUTF8());

        juce::Thread::sleep (20);
        return true;
    });

    if (lock->isHeldByAnother())
        throw Failure { FolderLock::describeFailure (folder->getFile()) };

    // Writers that were killed left their unfinished files; under the lock none of them is alive.
    if (lock->isLocked())
        FileReplacement::removeStaleSiblings (*folder, target.getFileName());

    const auto refusal = ReplaceableTarget (*folder, target.getFileName()).describeRefusal();

    if (refusal.isNotEmpty())
        throw Failure { refusal };

    return lock;
}

void Command::loadImpulseToChange (VOK_ImpulseFile& impulse, const juce::File& file)
{
    auto input = std::make_shared<RegularFileInput> (file);

    if (input->getKind() == RegularFileInput::Kind::missing)
        throw Failure { "File not found: " + file.getFullPathName() };

    if (! input->openedOk())
        throw Failure { RegularFileInput::describe (file, input->getKind()) };

    // The file stays open while the impulse is changed and saved, and its samples are copied
    // from it unchanged; the save renames over the name only.
    if (! impulse.loadFromStream (input, file.getFullPathName(), VOK_ImpulseFile::SampleReading::keepStored))
        throw Failure { describeLoadFailure (impulse, file) };
}

juce::MemoryBlock Command::readWholeFile (const juce::File& file, juce::int64 maxBytes)
{
    // Read like every input: a FIFO never waited on, a link followed only where its maker
    // could have followed it anyway.
    RegularFileInput input (file, RegularFileInput::Links::followedIfTrusted);

    if (input.getKind() == RegularFileInput::Kind::missing)
        throw Failure { "File not found: " + file.getFullPathName() };

    if (! input.openedOk())
        throw Failure { input.getFailure().isNotEmpty() ? input.getFailure() : "Can't read " + file.getFullPathName() };

    if (input.getTotalLength() > maxBytes)
        throw Failure { file.getFullPathName() + " is larger than " + juce::File::descriptionOfSizeInBytes (maxBytes) };

    juce::MemoryBlock bytes;

    if (input.readIntoMemoryBlock (bytes) != (size_t) input.getTotalLength())
        throw Failure { "Can't read " + file.getFullPathName() };

    return bytes;
}

void Command::print (const juce::String& text)
{
    const auto* utf8 = text.toRawUTF8();
    std::fwrite (utf8, 1, text.getNumBytesAsUTF8(), stdout);
}
