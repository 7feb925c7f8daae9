#include <impulse/ReadLog.h>

#include <cstdio>

void ReadLog::clear()
{
    bytes.reset();
    cutOff = false;
    text.clear();
    textIsCurrent = true;
}

ReadLog& ReadLog::append (const char* utf8, size_t numBytes)
{
    if (cutOff)
        return *this;

    if (bytes.getDataSize() + numBytes > maxBytes)
        cutOff = true;
    else
        bytes.write (utf8, numBytes);

    textIsCurrent = false;
    return *this;
}

ReadLog& ReadLog::operator<< (juce::int64 number)
{
    char digits[24];
    const auto length = std::snprintf (digits, sizeof (digits), "%lld", (long long) number);
    return append (digits, (size_t) juce::jmax (0, length));
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
