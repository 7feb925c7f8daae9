// vok from-audio AUDIO OUT.vok: builds a new impulse from an audio file and saves it.

#include "Command.h"

namespace
{
    class FromAudioCommand  : public Command
    {
    public:
        FromAudioCommand()
            : Command ({ "from-audio", "AUDIO OUT.vok",
                         "build a new impulse from a WAV, AIFF, FLAC or Ogg Vorbis file and save it as OUT.vok", 2 })
        {
        }

        int run (const juce::StringArray& arguments) override
        {
            const auto audioFile = getFileArgument (arguments[0]);
            const auto output    = getFileArgument (arguments[1]);

            VOK_ImpulseFile impulse;

            if (! impulse.createFromAudioFile (audioFile.getFullPathName()))
                throw Failure { describeLoadFailure (impulse, audioFile) };

            const auto lock = lockToReplace (output);
            saveImpulse (impulse, output);
            return success;
        }
    };
}

std::unique_ptr<Command> createFromAudioCommand()
{
    return std::make_unique<FromAudioCommand>();
}
