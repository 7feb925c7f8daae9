#include <impulse/ReadLog.h>

void ReadLog::clear()
{
    bytes.reset();
    cutOff = false;
    text.clear();
    textIsCurrent = true;
}

ReadLog& ReadLog::append (const juce::String& message)
{
    if (cutOff)
        return *this;

    const auto numBytes = message.getNumBytesAsUTF8();

    if (bytes.getDataSize() + numBytes > maxBytes)
        cutOff = true;
    else
        bytes.write (message.toRawUTF8(), numBytes);

    textIsCurrent = false;
    return *this;
}

const juce::String& ReadLog::getText() const
{
    if (! textIsCurrent)
    {
        text = juce::String::fromUTF8 (static_cast<const char*> (bytes.getData()), (int) bytes.getDataSize());

        if (cutOff)
            text << "\nRead log cut off after " << (juce::int64) bytes.getDataSize() << " bytes\n";

        textIsCurrent = true;
    }

    return text;
}
