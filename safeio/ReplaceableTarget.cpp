#include <safeio/ReplaceableTarget.h>
#include <safeio/RegularFileInput.h>

ReplaceableTarget::ReplaceableTarget (const OpenFolder& folder, const juce::String& name)
    : file (folder.getChildFile (name)), kind (folder.getKindOf (name))
{
    if (kind == FileKind::missing)
        return;

    if (kind != FileKind::regularFile)
    {
        refusal = Refusal::notRegularFile;
        reason = RegularFileInput::describe (file, kind);
        return;
    }

    // What is opened is checked, not the name, so nothing put in its place meanwhile passes.
    const RegularFileInput existing (folder, name);

    if (! existing.openedOk())
    {
        refusal = Refusal::notOpened;
        reason = existing.getFailure();
    }
    else if (existing.isProtected())
    {
        refusal = Refusal::protectedByUser;
        reason = existing.describeProtection();
    }
}

juce::String ReplaceableTarget::describeRefusal() const
{
    switch (refusal)
    {
        case Refusal::notRegularFile:   return reason;
        case Refusal::protectedByUser:  return "Can't overwrite " + file.getFullPathName() + ": " + reason;
        case Refusal::none:
        case Refusal::notOpened:
        default:                        return {};
    }
}
