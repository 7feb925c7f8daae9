#pragma once

#include <juce_core/juce_core.h>

/**
    Reads a file only when the name itself is a regular file: a link is never followed, and a
    FIFO, device or socket is never waited on. What was opened is checked, not the name
    before opening, so nothing put in the file's place meanwhile is read.

    The folders above the file may be links (an impulse folder moved to another disk).
*/
class RegularFileInput  : public juce::InputStream
{
public:
    enum class Kind
    {
        missing,
        regularFile,
        directory,
        link,
        special,    // FIFO, device, socket
        unknown     // could not be looked at
    };

    explicit RegularFileInput (const juce::File& file);
    ~RegularFileInput() override;

    bool openedOk() const noexcept                 { return handle != invalidHandle; }

    /** What the name was found to be (regularFile when opened). */
    Kind getKind() const noexcept                  { return kind; }

    /** True when the opened file has no write permission at all (the user marked it read-only). */
    bool isMarkedReadOnly() const noexcept         { return markedReadOnly; }

    /** Gives the opened file a second name, which must not exist yet; false where that can't be done. */
    bool linkAs (const juce::File& newName) const;

    juce::int64 getTotalLength() override          { return length; }
    bool isExhausted() override                    { return position >= length; }
    juce::int64 getPosition() override             { return position; }
    bool setPosition (juce::int64 newPosition) override;
    int read (void* destBuffer, int maxBytesToRead) override;

   #if ! JUCE_WINDOWS
    /** The open file's descriptor, for copies the system makes from file to file. */
    int getDescriptor() const noexcept             { return handle; }
   #endif

    /** What a name is, without following a link or opening it. */
    static Kind getKindOf (const juce::File& file);

    /** A sentence naming the file, for a kind other than missing or regularFile: "<path> is a link". */
    static juce::String describe (const juce::File& file, Kind kind);

private:
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
    bool markedReadOnly = false;

    JUCE_DECLARE_NON_COPYABLE (RegularFileInput)
};
