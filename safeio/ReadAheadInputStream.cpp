#include <safeio/ReadAheadInputStream.h>

ReadAheadInputStream::ReadAheadInputStream (juce::InputStream& sourceStream, int size)
    : source (sourceStream),
      buffer ((size_t) size),
      bufferSize (size),
      bufferStart (sourceStream.getPosition()),
      position (bufferStart)
{
}

ReadAheadInputStream::ReadAheadInputStream (RegularFileInput& sourceFile, int size)
    : source (sourceFile),
      file (&sourceFile),
      buffer ((size_t) size),
      bufferSize (size),
      bufferStart (sourceFile.getPosition()),
      position (bufferStart)
{
}

juce::int64 ReadAheadInputStream::getTotalLength()   { return source.getTotalLength(); }
juce::int64 ReadAheadInputStream::getPosition()      { return position; }

bool ReadAheadInputStream::isExhausted()
{
    return position >= bufferStart + bufferedBytes && source.isExhausted();
}

bool ReadAheadInputStream::setPosition (juce::int64 newPosition)
{
    newPosition = juce::jmax ((juce::int64) 0, newPosition);

    if (newPosition >= bufferStart && newPosition <= bufferStart + bufferedBytes)
    {
        position = newPosition;
        return true;
    }

    bufferedBytes = 0;
    bufferStart = newPosition;
    position = newPosition;
    return source.setPosition (newPosition);
}

int ReadAheadInputStream::read (void* destBuffer, int maxBytesToRead)
{
    auto* dest = static_cast<char*> (destBuffer);
    auto numRead = readFromBuffer (dest, maxBytesToRead);

    while (numRead < maxBytesToRead)
    {
        const auto wanted = maxBytesToRead - numRead;

        if (wanted >= bufferSize)
        {
            // The buffer is used up, so the source stands at our position.
            const auto numReadFromSource = file != nullptr ? file->readFollowedBy (dest + numRead, wanted, buffer, bufferSize)
                                                           : source.read (dest + numRead, wanted);

            if (numReadFromSource <= 0)
                break;

            const auto direct = juce::jmin (numReadFromSource, wanted);
            numRead += direct;
            position += direct;
            bufferStart = position;
            bufferedBytes = numReadFromSource - direct;
            continue;
        }

        if (! refill())
            break;

        numRead += readFromBuffer (dest + numRead, wanted);
    }

    return numRead;
}

int ReadAheadInputStream::readFromBuffer (char* dest, int maxBytes)
{
    const auto offset = (int) (position - bufferStart);
    const auto available = juce::jmin (maxBytes, bufferedBytes - offset);

    if (available <= 0)
        return 0;

    std::memcpy (dest, buffer + offset, (size_t) available);
    position += available;
    return available;
}

bool ReadAheadInputStream::refill()
{
    bufferStart = position;
    bufferedBytes = juce::jmax (0, source.read (buffer, bufferSize));
    return bufferedBytes > 0;
}
