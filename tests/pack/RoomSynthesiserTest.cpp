#include <PackMeasures.h>
#include <RoomSynthesiser.h>

#include <gtest/gtest.h>

#include <cmath>

namespace
{
    /** The table's shortest room keeps these tests quick. */
    RoomDesign shortRoom()
    {
        juce::Array<RoomDesign> rooms;
        RoomDesign::loadTable (juce::File (VOK_ROOM_TABLE), rooms);

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
    RoomSynthesiser first (room), second (room);

    EXPECT_TRUE (sameSamples (first.render (RoomSynthesiser::Layout::trueStereo),
                              second.render (RoomSynthesiser::Layout::trueStereo)));

    auto reseeded = room;
    reseeded.seed += 1;
    RoomSynthesiser third (reseeded);

    EXPECT_FALSE (sameSamples (first.render (RoomSynthesiser::Layout::stereo),
                               third.render (RoomSynthesiser::Layout::stereo)));
}

TEST (RoomSynthesiser, AFileDoesNotDependOnWhatWasRenderedBeforeIt)
{
    const auto room = shortRoom();
    RoomSynthesiser stereoFirst (room), trueStereoFirst (room);

    const auto stereoThenTrueStereo = [&] { stereoFirst.render (RoomSynthesiser::Layout::stereo);
                                            return stereoFirst.render (RoomSynthesiser::Layout::trueStereo); }();
    const auto trueStereoAlone = trueStereoFirst.render (RoomSynthesiser::Layout::trueStereo);
    const auto stereoAfterTrueStereo = trueStereoFirst.render (RoomSynthesiser::Layout::stereo);

    EXPECT_TRUE (sameSamples (stereoThenTrueStereo, trueStereoAlone));
    EXPECT_TRUE (sameSamples (stereoAfterTrueStereo, RoomSynthesiser (room).render (RoomSynthesiser::Layout::stereo)));
}

TEST (RoomSynthesiser, TheDirectSoundsKeepTheirRelativeDelaysAndTheEarliestStartsTheFile)
{
    const auto room = shortRoom();
    RoomSynthesiser synthesiser (room);

    struct Path { RoomDesign::Position source, microphone; };
    const std::vector<Path> stereoPaths { { room.centreSource, room.leftMicrophone }, { room.centreSource, room.rightMicrophone } };
    const std::vector<Path> trueStereoPaths { { room.leftSource, room.leftMicrophone }, { room.leftSource, room.rightMicrophone },
                                              { room.rightSource, room.leftMicrophone }, { room.rightSource, room.rightMicrophone } };

    for (auto layout : { RoomSynthesiser::Layout::stereo, RoomSynthesiser::Layout::trueStereo })
    {
        const auto& paths = layout == RoomSynthesiser::Layout::stereo ? stereoPaths : trueStereoPaths;
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
            const auto expected = (delay + RoomSynthesiser::leadSeconds) * room.sampleRate;
            EXPECT_NEAR (loudestSample (response, channel), expected, 1.0) << "channel " << channel;

            EXPECT_EQ (response.getSample (channel, 0), 0.0f) << "channel " << channel;
        }
    }
}

TEST (RoomSynthesiser, NearerPathsAreLouder)
{
    // True stereo: the left source is nearer the left microphone than the right one.
    const auto response = RoomSynthesiser (shortRoom()).render (RoomSynthesiser::Layout::trueStereo);
    const auto peak = [&] (int channel) { return response.getMagnitude (channel, 0, response.getNumSamples()); };

    EXPECT_GT (peak (0), peak (1));   // L->L over L->R
    EXPECT_GT (peak (3), peak (2));   // R->R over R->L
}

TEST (RoomSynthesiser, TrimmingBringsTheMeasuredTimesToTheTargets)
{
    const auto room = shortRoom();
    RoomSynthesiser synthesiser (room);
    synthesiser.render (RoomSynthesiser::Layout::stereo);

    // Far inside the 10 % the pack promises, whatever the noise of each path did.
    EXPECT_LE (synthesiser.getLastTrimDeviation(), 0.04);

    for (size_t band = 0; band < room.targetT30.size(); ++band)
        EXPECT_NEAR (synthesiser.getLastMeasuredT30()[band], room.targetT30[band], 0.04 * room.targetT30[band]);
}

TEST (RoomSynthesiser, TrimmingGivesTheLateBassTheDiffuseFieldsCoherence)
{
    // A short room's late tail holds too few bass frequencies for the mix alone to set the
    // coherence of all six pairs; the trim brings each to the diffuse field's.
    const auto room = shortRoom();
    RoomSynthesiser synthesiser (room);
    const auto response = synthesiser.render (RoomSynthesiser::Layout::trueStereo);
    const auto lateStart = PackMeasures::getLateCoherenceStart (room, response);

    EXPECT_LE (synthesiser.getLastCoherenceDeviation(), 0.2);

    for (int first = 0; first < 4; ++first)
        for (int second = first + 1; second < 4; ++second)
            for (auto centre : { 125.0, 250.0 })
                EXPECT_NEAR (PackMeasures::measureLateCoherence (room, response, first, second, centre, lateStart),
                             PackMeasures::expectedCoherence (room, RoomSynthesiser::Layout::trueStereo, first, second, centre), 0.2)
                    << "channels " << first << " and " << second << ", " << centre << " Hz";
}

TEST (RoomSynthesiser, ModeSalienceHearsTheModesOfAModalResponse)
{
    // The room's coupled modes as decaying sinusoids, nothing else: the level at the modes
    // stands clear of the level between them.
    const auto room = shortRoom();
    ASSERT_GT (room.getSchroederFrequency(), PackMeasures::modalRoomSchroederFrequency);

    const auto path = RoomSynthesiser::getPaths (room, RoomSynthesiser::Layout::stereo)[0];
    const auto modes = PackMeasures::coupledModeFrequencies (room, path);
    ASSERT_GE (modes.size(), 3u);

    std::vector<float> response ((size_t) room.samplesPerChannel, 0.0f);

    for (size_t i = 0; i < response.size(); ++i)
    {
        const auto seconds = (double) i / room.sampleRate;

        for (auto frequency : modes)
            response[i] += (float) (std::sin (2.0 * juce::MathConstants<double>::pi * frequency * seconds)
                                    * std::exp (-6.907755278982137 * seconds / room.targetT30[0]));
    }

    EXPECT_GE (PackMeasures::modeSalienceDb (room, path, response.data(), (int) response.size()), 1.5);
}

TEST (RoomSynthesiser, ChannelDescriptionsNameTheirPaths)
{
    EXPECT_EQ (RoomSynthesiser::getChannelDescriptions (RoomSynthesiser::Layout::stereo),
               juce::StringArray ({ "C->L", "C->R" }));
    EXPECT_EQ (RoomSynthesiser::getChannelDescriptions (RoomSynthesiser::Layout::trueStereo),
               juce::StringArray ({ "L->L", "L->R", "R->L", "R->R" }));
}
