/** @file
    RegularFileInput: reads a name only when it is a regular file.
*/
#pragma once

#include <safeio/FileKind.h>
#include <safeio/OpenFolder.h>

#include <juce_core/juce_core.h>

/**
    Reads a file only when the name itself is a regular file: a FIFO, device or socket is never
    waited on, and a link is followed only where its maker could have followed it anyway (see
    OpenFolder), or never. What was opened is checked, not the name before opening, so nothing
    put in the file's place meanwhile is read.

    The file is opened relative to its folder, opened once (OpenFolder), with the rights of the
    user working there.
*/
class RegularFileInput  : public juce::InputStream
{
public:
    /** What the name was found to be. */
    using Kind = FileKind;

    /** Whether a link in the file's place is followed. */
    enum class Links
    {
        neverFollowed,      ///< A link in the file's place is refused: where a file is replaced.
        followedIfTrusted   ///< A link its maker could have followed is followed: what is only read.
    };

    /** Opens file's folder, then the name inside it. */
    explicit RegularFileInput (const juce::File& file, Links links = Links::neverFollowed);

    /** Opens name inside folder. */
    RegularFileInput (const OpenFolder& folder, const juce::String& name, Links links = Links::neverFollowed);
    ~RegularFileInput() override;

    /** True when a regular file was opened; getFailure() says why not. */
    bool openedOk() const noexcept                 { return handle != invalidHandle; }

    /** What the name was found to be (regularFile when opened). */
    Kind getKind() const noexcept                  { return kind; }

    /** True when the opened file has no write permission at all (the user marked it read-only). */
    bool isMarkedReadOnly() const noexcept         { return markedReadOnly; }

    /** True when the user working in the folder may not write the file: it is read-only, or
        another user's.
    */
    bool isProtected() const noexcept              { return markedReadOnly || ! writable; }

    /** Why the file may not be replaced, when isProtected: "the file is read-only" or "the file
        belongs to another user".
    */
    juce::String describeProtection() const;

    /** The same opened file once more, with a position of its own (for readers that each want
        a stream of their own); nullptr when this one is not open or the system refuses.
    */
    std::unique_ptr<RegularFileInput> openAgain() const;

    /** Gives the opened file a second name in folder, which must not exist yet; false where
        that can't be done.
    */
    bool linkAs (const OpenFolder& folder, const juce::String& newName) const;

    /** When opening failed: a sentence naming the file, why (empty when it is just missing). */
    const juce::String& getFailure() const noexcept  { return failure; }

   #if ! JUCE_WINDOWS
    /** The permission bits of the opened file. */
    int getMode() const noexcept                   { return mode; }
   #endif

    /** The file's length when it was opened. */
    juce::int64 getTotalLength() override          { return length; }

    /** True at the end of the file. */
    bool isExhausted() override                    { return position >= length; }

    /** The position of the next byte read. */
    juce::int64 getPosition() override             { return position; }

    /** Moves to newPosition, or to the end when that is beyond it; false for a negative one. */
    bool setPosition (juce::int64 newPosition) override;

    /** Reads from the opened file, never past the length it had when opened. */
    int read (void* destBuffer, int maxBytesToRead) override;

    /** Reads numBytes into dest and, in the same system call where there is one for it, as
        much of what follows as fits into numAheadBytes at ahead: returns how many bytes were
        read in all (ahead holds those beyond numBytes). The position moves past them all.
    */
    int readFollowedBy (void* dest, int numBytes, void* ahead, int numAheadBytes);

   #if ! JUCE_WINDOWS
    /** The open file's descriptor, for copies the system makes from file to file. */
    int getDescriptor() const noexcept             { return handle; }
   #endif

    /** What a name is, without following a link or opening it. */
    static Kind getKindOf (const juce::File& file);

    /** A sentence naming the file, for a kind other than missing or regularFile: "<path> is a link". */
    static juce::String describe (const juce::File& file, Kind kind);

private:
    RegularFileInput() = default;
    void openIn (const OpenFolder& folder, const juce::String& name, const juce::File& shown);
    void openFollowingTrustedLinks (const OpenFolder& folder, const juce::String& name);

   #if ! JUCE_WINDOWS
    static bool isWritableBy (const OpenFolder& folder, const juce::String& name);
   #endif

   #if JUCE_WINDOWS
    using Handle = void*;
    static inline Handle const invalidHandle = (Handle) (juce::pointer_sized_int) -1;
   #else
    using Handle = int;
    static constexpr Handle invalidHandle = -1;
   #endif

    Handle handle = invalidHandle;
    Kind kind = Kind::unknown;
    juce::int64 length = 0, position = 0;
    bool markedReadOnly = false, writable = true;
    int mode = 0;
    juce::String failure;

    JUCE_DECLARE_NON_COPYABLE (RegularFileInput)
};
