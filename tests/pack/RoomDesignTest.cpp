#include <pack/RoomDesign.h>

#include <gtest/gtest.h>

#include <functional>

namespace
{
    juce::File roomTable()  { return juce::File (VOK_ROOM_TABLE); }

    /** The real table, with one change applied, in a temporary file. */
    struct ChangedTable
    {
        explicit ChangedTable (const std::function<void (juce::var&)>& change)
        {
            auto table = juce::JSON::parse (roomTable().loadFileAsString());
            change (table);
            file.getFile().replaceWithText (juce::JSON::toString (table));
        }

        juce::TemporaryFile file { ".json" };
    };

    juce::var& firstRoom (juce::var& table)  { return (*table["rooms"].getArray()).getReference (0); }

    void setProperty (const juce::var& object, const char* name, const juce::var& value)
    {
        object.getDynamicObject()->setProperty (name, value);
    }

    juce::var numbers (std::initializer_list<double> values)
    {
        juce::Array<juce::var> array;

        for (auto v : values)
            array.add (v);

        return array;
    }
}

TEST (RoomDesign, TheRoomTableHoldsTwelveRoomsWithSourcesForTheirTimes)
{
    juce::Array<RoomDesign> rooms;
    const auto result = RoomDesign::loadTable (roomTable(), rooms);
    ASSERT_TRUE (result.wasOk()) << result.getErrorMessage();
    ASSERT_EQ (rooms.size(), 12);

    for (const auto& room : rooms)
    {
        EXPECT_EQ (room.sampleRate, 44100.0);
        EXPECT_GT (room.t30Source.length(), 40) << room.name;
        EXPECT_EQ (room.getStereoFileName(), room.name + " stereo.vok");
        EXPECT_EQ (room.getTrueStereoFileName(), room.name + " true stereo.vok");

        // The tail must have room to die away: the longest band's 60 dB fall, and a margin,
        // fits into the file.
        auto longest = 0.0;

        for (auto t30 : room.targetT30)
            longest = juce::jmax (longest, t30);

        EXPECT_LT (RoomDesign::tailFadeMargin * longest, room.samplesPerChannel / room.sampleRate) << room.name;
    }
}

TEST (RoomDesign, EveryRoomsSurfacesGiveItsTimesAndItsPlayersStandOffTheCentreLine)
{
    juce::Array<RoomDesign> rooms;
    ASSERT_TRUE (RoomDesign::loadTable (roomTable(), rooms).wasOk());

    for (const auto& room : rooms)
    {
        SCOPED_TRACE (room.name);

        // The walls without a material of their own were chosen for Sabine's formula to give the times.
        const auto sabine = room.getSabineT30();

        for (size_t band = 0; band < sabine.size(); ++band)
            EXPECT_NEAR (sabine[band] / room.targetT30[band], 1.0, 0.02) << RoomDesign::bandCentres[band] << " Hz";

        // No mirror image: neither the centre source nor the pair's middle stands on the room's axis,
        // and the outer sources are not placed symmetrically about the centre one.
        const auto axis = 0.5 * room.width;
        const auto pairMiddle = 0.5 * (room.leftMicrophone.x + room.rightMicrophone.x);
        EXPECT_GT (std::abs (room.centreSource.x - axis), 0.05);
        EXPECT_GT (std::abs (pairMiddle - axis), 0.05);
        EXPECT_GT (std::abs (room.leftSource.distanceTo (room.centreSource) - room.rightSource.distanceTo (room.centreSource)), 0.05);

        for (const auto& surface : room.surfaces)
            EXPECT_TRUE (surface.material.isNotEmpty());
    }
}

TEST (RoomDesign, SoundLeavesTheSpecularPathsAsTheSurfacesScatterIt)
{
    juce::Array<RoomDesign> rooms;
    ASSERT_TRUE (RoomDesign::loadTable (roomTable(), rooms).wasOk());
    auto room = rooms.getReference (0);

    for (auto& surface : room.surfaces)
        surface.scattering.fill (0.3);

    // After one mean free path the sound has met one surface on average and kept 0.7 of its energy specular.
    const auto oneReflection = room.getMeanFreePath() / room.speedOfSound;
    EXPECT_DOUBLE_EQ (room.getSpecularShare (1000.0, 0.0), 1.0);
    EXPECT_NEAR (room.getSpecularShare (1000.0, oneReflection), 0.7, 1.0e-9);
    EXPECT_NEAR (room.getSpecularShare (1000.0, 3.0 * oneReflection), 0.343, 1.0e-9);
    EXPECT_DOUBLE_EQ (room.getSpecularShare (1000.0, -1.0), 1.0);

    // Smooth surfaces keep the reflections specular for longer, so they are drawn for longer.
    auto smooth = room;

    for (auto& surface : smooth.surfaces)
        surface.scattering.fill (0.05);

    EXPECT_GE (smooth.getSpecularEndSeconds(), room.getSpecularEndSeconds());
}

struct BadTableCase
{
    const char* what;
    std::function<void (juce::var&)> change;
    const char* expectedMessage;
};

class RoomDesignBadTable : public ::testing::TestWithParam<BadTableCase> {};

TEST_P (RoomDesignBadTable, IsRefusedWithAMessageNamingTheProblem)
{
    const ChangedTable table (GetParam().change);
    juce::Array<RoomDesign> rooms;
    rooms.add ({});

    const auto result = RoomDesign::loadTable (table.file.getFile(), rooms);

    EXPECT_TRUE (result.failed());
    EXPECT_TRUE (result.getErrorMessage().contains (GetParam().expectedMessage)) << result.getErrorMessage();
    EXPECT_TRUE (rooms.isEmpty());
}

INSTANTIATE_TEST_SUITE_P (Cases, RoomDesignBadTable, ::testing::Values (
    BadTableCase { "fractional length", [] (juce::var& t) { setProperty (firstRoom (t), "samplesPerChannel", 1000.5); }, "samplesPerChannel" },
    BadTableCase { "huge length",       [] (juce::var& t) { setProperty (firstRoom (t), "samplesPerChannel", 2.0e9); }, "samplesPerChannel" },
    BadTableCase { "flat room",         [] (juce::var& t) { setProperty (firstRoom (t), "dimensions", numbers ({ 10.0, 14.0, 0.0 })); }, "dimensions" },
    BadTableCase { "source outside",    [] (juce::var& t) { setProperty (firstRoom (t)["sources"], "left", numbers ({ -1.0, 5.0, 1.5 })); }, "inside the room" },
    BadTableCase { "source on a mic",   [] (juce::var& t) { setProperty (firstRoom (t)["sources"], "centre", firstRoom (t)["microphones"]["left"]); }, "stands on a microphone" },
    BadTableCase { "five bands",        [] (juce::var& t) { setProperty (firstRoom (t), "t30", numbers ({ 1.0, 1.0, 1.0, 1.0, 1.0 })); }, "t30" },
    BadTableCase { "negative time",     [] (juce::var& t) { setProperty (firstRoom (t), "t30", numbers ({ 1.0, 1.0, -1.0, 1.0, 1.0, 1.0 })); }, "t30" },
    BadTableCase { "absorbs all",       [] (juce::var& t) { setProperty (firstRoom (t)["surfaces"]["left"], "absorption", numbers ({ 1.0, 1.0, 1.0, 1.0, 1.0, 1.0 })); }, "surfaces.left" },
    BadTableCase { "scatters too much", [] (juce::var& t) { setProperty (firstRoom (t)["surfaces"]["ceiling"], "scattering", numbers ({ 0.1, 0.2, 0.3, 0.4, 0.5, 1.5 })); }, "surfaces.ceiling" },
    BadTableCase { "no material",       [] (juce::var& t) { setProperty (firstRoom (t)["surfaces"]["floor"], "material", ""); }, "surfaces.floor" },
    BadTableCase { "a surface missing", [] (juce::var& t) { firstRoom (t)["surfaces"].getDynamicObject()->removeProperty ("sourceEnd"); }, "surfaces.sourceEnd" },
    BadTableCase { "tail too long",     [] (juce::var& t) { setProperty (firstRoom (t), "samplesPerChannel", 44100); }, "too long" },
    BadTableCase { "no source cited",   [] (juce::var& t) { setProperty (firstRoom (t), "t30Source", ""); }, "t30Source" },
    BadTableCase { "no seed",           [] (juce::var& t) { firstRoom (t).getDynamicObject()->removeProperty ("seed"); }, "seed" },
    BadTableCase { "twice the name",    [] (juce::var& t) { setProperty ((*t["rooms"].getArray()).getReference (1), "name", firstRoom (t)["name"]); }, "used twice" },
    BadTableCase { "other bands",       [] (juce::var& t) { setProperty (t, "bands", numbers ({ 63, 125, 250, 500, 1000, 2000 })); }, "bands" },
    BadTableCase { "no rooms",          [] (juce::var& t) { setProperty (t, "rooms", juce::Array<juce::var>()); }, "rooms" },
    BadTableCase { "odd sample rate",   [] (juce::var& t) { setProperty (t, "sampleRate", "fast"); }, "sampleRate" }),
    [] (const ::testing::TestParamInfo<BadTableCase>& info)
    {
        return juce::String (info.param.what).replaceCharacter (' ', '_').toStdString();
    });

TEST (RoomDesign, AMissingOrMalformedTableIsRefused)
{
    juce::Array<RoomDesign> rooms;
    const juce::TemporaryFile missing;
    EXPECT_TRUE (RoomDesign::loadTable (missing.getFile(), rooms).getErrorMessage().contains ("not found"));

    const juce::TemporaryFile malformed (".json");
    malformed.getFile().replaceWithText ("{ \"rooms\": [ ");
    EXPECT_TRUE (RoomDesign::loadTable (malformed.getFile(), rooms).failed());
    EXPECT_TRUE (rooms.isEmpty());
}
