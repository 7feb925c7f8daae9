#include <VOK_RoomSynthesiser.h>

#include <gtest/gtest.h>

#include <cmath>

namespace
{
    /** The table's shortest room keeps these tests quick. */
    VOK_RoomDesign shortRoom()
    {
        juce::Array<VOK_RoomDesign> rooms;
        VOK_RoomDesign::loadTable (juce::File (VOK_ROOM_TABLE), rooms);

        for (const auto& room : rooms)
            if (room.name == "Jazz Studio small")
                return room;

        ADD_FAILURE() << "the table lacks its small jazz studio";
        return {};
    }

    int loudestSample (const juce::AudioBuffer<float>& buffer, int channel)
    {
        int loudest = 0;

        for (int i = 0; i < buffer.getNumSamples(); ++i)
            if (std::abs (buffer.getSample (channel, i)) > std::abs (buffer.getSample (channel, loudest)))
                loudest = i;

        return loudest;
    }

    bool sameSamples (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
    {
        if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
            return false;

        for (int channel = 0; channel < a.getNumChannels(); ++channel)
            if (std::memcmp (a.getReadPointer (channel), b.getReadPointer (channel), sizeof (float) * (size_t) a.getNumSamples()) != 0)
                return false;

        return true;
    }
}

TEST (RoomSynthesiser, TheSameDesignGivesTheSameSamples)
{
    const auto room = shortRoom();
    VOK_RoomSynthesiser first (room), second (room);

    EXPECT_TRUE (sameSamples (first.render (VOK_RoomSynthesiser::Layout::trueStereo),
                              second.render (VOK_RoomSynthesiser::Layout::trueStereo)));

    auto reseeded = room;
    reseeded.seed += 1;
    VOK_RoomSynthesiser third (reseeded);

    EXPECT_FALSE (sameSamples (first.render (VOK_RoomSynthesiser::Layout::stereo),
                               third.render (VOK_RoomSynthesiser::Layout::stereo)));
}

TEST (RoomSynthesiser, AFileDoesNotDependOnWhatWasRenderedBeforeIt)
{
    const auto room = shortRoom();
    VOK_RoomSynthesiser stereoFirst (room), trueStereoFirst (room);

    const auto stereoThenTrueStereo = [&] { stereoFirst.render (VOK_RoomSynthesiser::Layout::stereo);
                                            return stereoFirst.render (VOK_RoomSynthesiser::Layout::trueStereo); }();
    const auto trueStereoAlone = trueStereoFirst.render (VOK_RoomSynthesiser::Layout::trueStereo);
    const auto stereoAfterTrueStereo = trueStereoFirst.render (VOK_RoomSynthesiser::Layout::stereo);

    EXPECT_TRUE (sameSamples (stereoThenTrueStereo, trueStereoAlone));
    EXPECT_TRUE (sameSamples (stereoAfterTrueStereo, VOK_RoomSynthesiser (room).render (VOK_RoomSynthesiser::Layout::stereo)));
}

TEST (RoomSynthesiser, TheDirectSoundsKeepTheirRelativeDelaysAndTheEarliestStartsTheFile)
{
    const auto room = shortRoom();
    VOK_RoomSynthesiser synthesiser (room);

    struct Path { VOK_RoomDesign::Position source, microphone; };
    const std::vector<Path> stereoPaths { { room.centreSource, room.leftMicrophone }, { room.centreSource, room.rightMicrophone } };
    const std::vector<Path> trueStereoPaths { { room.leftSource, room.leftMicrophone }, { room.leftSource, room.rightMicrophone },
                                              { room.rightSource, room.leftMicrophone }, { room.rightSource, room.rightMicrophone } };

    for (auto layout : { VOK_RoomSynthesiser::Layout::stereo, VOK_RoomSynthesiser::Layout::trueStereo })
    {
        const auto& paths = layout == VOK_RoomSynthesiser::Layout::stereo ? stereoPaths : trueStereoPaths;
        const auto response = synthesiser.render (layout);
        ASSERT_EQ (response.getNumChannels(), (int) paths.size());
        ASSERT_EQ (response.getNumSamples(), room.samplesPerChannel);

        auto earliest = 1.0e9;

        for (const auto& path : paths)
            earliest = juce::jmin (earliest, path.source.distanceTo (path.microphone) / room.speedOfSound);

        for (int channel = 0; channel < response.getNumChannels(); ++channel)
        {
            // The direct sound is each channel's loudest arrival.
            const auto delay = paths[(size_t) channel].source.distanceTo (paths[(size_t) channel].microphone) / room.speedOfSound - earliest;
            const auto expected = (delay + VOK_RoomSynthesiser::leadSeconds) * room.sampleRate;
            EXPECT_NEAR (loudestSample (response, channel), expected, 1.0) << "channel " << channel;

            EXPECT_EQ (response.getSample (channel, 0), 0.0f) << "channel " << channel;
        }
    }
}

TEST (RoomSynthesiser, NearerPathsAreLouder)
{
    // True stereo: the left source is nearer the left microphone than the right one.
    const auto response = VOK_RoomSynthesiser (shortRoom()).render (VOK_RoomSynthesiser::Layout::trueStereo);
    const auto peak = [&] (int channel) { return response.getMagnitude (channel, 0, response.getNumSamples()); };

    EXPECT_GT (peak (0), peak (1));   // L->L over L->R
    EXPECT_GT (peak (3), peak (2));   // R->R over R->L
}

TEST (RoomSynthesiser, TrimmingBringsTheMeasuredTimesToTheTargets)
{
    const auto room = shortRoom();
    VOK_RoomSynthesiser synthesiser (room);
    synthesiser.render (VOK_RoomSynthesiser::Layout::stereo);

    // Far inside the 10 % the pack promises, whatever the noise of each path did.
    EXPECT_LE (synthesiser.getLastTrimDeviation(), 0.04);

    for (size_t band = 0; band < room.targetT30.size(); ++band)
        EXPECT_NEAR (synthesiser.getLastMeasuredT30()[band], room.targetT30[band], 0.04 * room.targetT30[band]);
}

TEST (RoomSynthesiser, ChannelDescriptionsNameTheirPaths)
{
    EXPECT_EQ (VOK_RoomSynthesiser::getChannelDescriptions (VOK_RoomSynthesiser::Layout::stereo),
               juce::StringArray ({ "C->L", "C->R" }));
    EXPECT_EQ (VOK_RoomSynthesiser::getChannelDescriptions (VOK_RoomSynthesiser::Layout::trueStereo),
               juce::StringArray ({ "L->L", "L->R", "R->L", "R->R" }));
}
