#include "Command.h"
#include "RegularFileInput.h"

#include <cstdio>

juce::String Command::getUsage() const
{
    return "usage: vok " + getName() + " " + getArgumentSyntax();
}

juce::File Command::getFileArgument (const juce::String& argument)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile (argument);
}

juce::String Command::describeLoadFailure (const VOK_ImpulseFile& impulse, const juce::File& file)
{
    if (impulse.getLastError().isNotEmpty())
        return impulse.getLastError();

    const auto logLines = juce::StringArray::fromLines (impulse.getReadLog().trimEnd());
    const auto lastLogLine = logLines.isEmpty() ? juce::String() : logLines[logLines.size() - 1].trim();

    if (lastLogLine.isNotEmpty())
        return "Can't read " + file.getFullPathName() + ": " + lastLogLine;

    return "Can't read " + file.getFullPathName() + ": not an impulse or audio file of a known format";
}

void Command::loadImpulse (VOK_ImpulseFile& impulse, const juce::File& file, VOK_ImpulseFile::SampleReading samples)
{
    if (! impulse.loadFromFile (file.getFullPathName(), samples))
        throw Failure { describeLoadFailure (impulse, file) };
}

void Command::saveImpulse (VOK_ImpulseFile& impulse, const juce::File& file)
{
    if (! impulse.saveToFile (file.getFullPathName()))
        throw Failure { "Can't save " + file.getFullPathName() };
}

std::unique_ptr<FolderLock> Command::lockFolderOf (const juce::File& file)
{
    const auto folder = file.getParentDirectory();
    auto lock = std::make_unique<FolderLock> (folder, FolderLock::defaultTimeoutMs);

    if (lock->isHeldByAnother())
        throw Failure { FolderLock::describeFailure (folder) };

    return lock;
}

void Command::checkReplaceable (const juce::File& file)
{
    using Kind = RegularFileInput::Kind;
    const auto kind = RegularFileInput::getKindOf (file);

    if (kind == Kind::missing)
        return;

    if (kind != Kind::regularFile)
        throw Failure { RegularFileInput::describe (file, kind) };

    const RegularFileInput existing (file);

    if (existing.openedOk() && existing.isMarkedReadOnly())
        throw Failure { "Can't overwrite " + file.getFullPathName() + ": the file is read-only" };
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

void Command::print (const juce::String& text)
{
    const auto* utf8 = text.toRawUTF8();
    std::fwrite (utf8, 1, text.getNumBytesAsUTF8(), stdout);
}
