#include <impulse/VOK_ImpulseFile.h>
#include <impulse/PresetNameOrder.h>

#include <gtest/gtest.h>

#include <thread>

namespace
{
    std::unique_ptr<VOK_ImpulseFile> createImpulseWithHeader (const char* headerXml)
    {
        auto impulse = std::make_unique<VOK_ImpulseFile>();
        impulse->setHeader (juce::parseXML (juce::String (headerXml)));
        return impulse;
    }

    // "Tag:name" of every child of the list, so that other elements show where they went.
    juce::StringArray describeListChildren (const VOK_ImpulseFile& impulse)
    {
        juce::StringArray children;

        if (auto* list = impulse.getHeader().getChildByName ("presets"))
            for (auto* child : list->getChildIterator())
                children.add (child->getTagName() + ":" + child->getStringAttribute ("preset_name"));

        return children;
    }

    struct Lookup
    {
        const char* name;
        const char* expectedData;
    };

    struct PresetCase
    {
        const char* description;
        const char* headerXml;
        std::vector<std::pair<const char*, const char*>> presetsToAdd;
        juce::StringArray expectedNames;
        juce::StringArray expectedListChildren;     // empty: don't check
        std::vector<Lookup> lookups;
    };

    const char* const emptyHeader = "<VokImpulseFile version=\"2.1\"/>";

    const PresetCase presetCases[] =
    {
        { "no presets element: lookups find nothing",
          "<VokImpulseFile version=\"2.1\"><IRSamplePool number=\"1\"/></VokImpulseFile>",
          {}, {}, {}, { { "Hall", "" } } },

        { "adding to a header without presets creates the list",
          emptyHeader,
          { { "Hall", "hall data" } },
          { "Hall" }, { "Preset:Hall" }, { { "Hall", "hall data" } } },

        { "replacement ignores case: hall replaces Hall at its sorted place",
          "<VokImpulseFile><presets>"
            "<Preset preset_name=\"Ambient\" preset_data=\"a\"/>"
            "<Preset preset_name=\"Hall\" preset_data=\"old\"/>"
            "<Preset preset_name=\"Room\" preset_data=\"r\"/>"
          "</presets></VokImpulseFile>",
          { { "hall", "new" } },
          { "Ambient", "hall", "Room" }, {}, { { "Hall", "new" }, { "HALL", "new" }, { "Room", "r" } } },

        { "sorting skips leading punctuation: -Bright between Ambient and Cathedral",
          emptyHeader,
          { { "Cathedral", "c" }, { "-Bright", "b" }, { "Ambient", "a" } },
          { "Ambient", "-Bright", "Cathedral" }, {}, { { "-bright", "b" } } },

        { "sorting ignores case",
          emptyHeader,
          { { "cello", "1" }, { "Bass", "2" }, { "apple", "3" }, { "...Drums", "4" } },
          { "apple", "Bass", "cello", "...Drums" }, {}, {} },

        { "sorting compares digits as characters",
          emptyHeader,
          { { "2 Rooms", "" }, { "10 Rooms", "" }, { "#1 Plate", "" } },
          { "#1 Plate", "10 Rooms", "2 Rooms" }, {}, {} },

        { "other elements are skipped by lookups but sorted along",
          "<VokImpulseFile><presets>"
            "<Note preset_name=\"Bravo\" preset_data=\"not a preset\"/>"
            "<Preset preset_name=\"Charlie\" preset_data=\"c\"/>"
          "</presets></VokImpulseFile>",
          { { "Alpha", "a" } },
          { "Alpha", "Charlie" }, { "Preset:Alpha", "Note:Bravo", "Preset:Charlie" },
          { { "Bravo", "" }, { "Charlie", "c" } } },

        { "adding the name of another element's attribute leaves that element alone",
          "<VokImpulseFile><presets><Note preset_name=\"Hall\"/></presets></VokImpulseFile>",
          { { "Hall", "h" } },
          { "Hall" }, { "Note:Hall", "Preset:Hall" }, { { "Hall", "h" } } },

        { "duplicates stay listed and the first one answers lookups",
          "<VokImpulseFile><presets>"
            "<Preset preset_name=\"Hall\" preset_data=\"first\"/>"
            "<Preset preset_name=\"Hall\" preset_data=\"second\"/>"
          "</presets></VokImpulseFile>",
          {},
          { "Hall", "Hall" }, {}, { { "hall", "first" } } },

        { "adding over duplicates replaces only the first",
          "<VokImpulseFile><presets>"
            "<Preset preset_name=\"Hall\" preset_data=\"first\"/>"
            "<Preset preset_name=\"Hall\" preset_data=\"second\"/>"
          "</presets></VokImpulseFile>",
          { { "HALL", "third" } },
          { "Hall", "HALL" }, {}, { { "hall", "second" } } },

        { "lookups ignore case",
          "<VokImpulseFile><presets><Preset preset_name=\"Vocal\" preset_data=\"v\"/></presets></VokImpulseFile>",
          {},
          { "Vocal" }, {}, { { "VOCAL", "v" }, { "vocal", "v" }, { "Vocals", "" } } },

        { "a preset without a name lists as an empty name",
          "<VokImpulseFile><presets><Preset preset_data=\"x\"/></presets></VokImpulseFile>",
          {},
          { "" }, {}, { { "", "x" } } },

        { "attribute and tag names match ignoring case",
          "<VokImpulseFile><Presets><preset Preset_Name=\"Hall\" PRESET_DATA=\"h\"/></Presets></VokImpulseFile>",
          {},
          { "Hall" }, {}, { { "hall", "h" } } },

        { "data is kept as it was given",
          emptyHeader,
          { { "Plate", "<state a=\"1\">\n  &amp; \xc3\xa9t\xc3\xa9\n</state>" } },
          { "Plate" }, {}, { { "plate", "<state a=\"1\">\n  &amp; \xc3\xa9t\xc3\xa9\n</state>" } } },
    };

    void PrintTo (const PresetCase& c, std::ostream* os)   { *os << c.description; }

    class PresetListTest  : public ::testing::TestWithParam<PresetCase> {};
}

TEST_P (PresetListTest, ListHoldsTheExpectedPresets)
{
    const auto& c = GetParam();
    auto impulse = createImpulseWithHeader (c.headerXml);

    for (auto& [name, data] : c.presetsToAdd)
        impulse->addPreset (juce::String::fromUTF8 (name), juce::String::fromUTF8 (data));

    EXPECT_EQ (impulse->getPresetNames(), c.expectedNames);

    if (! c.expectedListChildren.isEmpty())
    {
        EXPECT_EQ (describeListChildren (*impulse), c.expectedListChildren);
    }

    for (auto& lookup : c.lookups)
        EXPECT_EQ (impulse->getPresetData (juce::String::fromUTF8 (lookup.name)),
                   juce::String::fromUTF8 (lookup.expectedData)) << "lookup of " << lookup.name;
}

INSTANTIATE_TEST_SUITE_P (Cases, PresetListTest, ::testing::ValuesIn (presetCases),
                          [] (const auto& info) { return "case" + std::to_string (info.index); });

//==============================================================================
TEST (PresetList, CreatedListIsTheLastChildOfTheHeader)
{
    auto impulse = createImpulseWithHeader ("<VokImpulseFile version=\"2.1\"><IRSamplePool number=\"1\"/><Other/></VokImpulseFile>");
    impulse->addPreset ("Hall", "h");

    auto& header = impulse->getHeader();
    ASSERT_EQ (header.getNumChildElements(), 3);
    EXPECT_EQ (header.getChildElement (0)->getTagName(), "IRSamplePool");
    EXPECT_EQ (header.getChildElement (1)->getTagName(), "Other");
    EXPECT_EQ (header.getChildElement (2)->getTagName(), "presets");
}

TEST (PresetList, NewPresetWritesNameBeforeData)
{
    VOK_ImpulseFile impulse;
    impulse.addPreset ("Hall", "h");

    auto* preset = impulse.getHeader().getChildByName ("presets")->getChildElement (0);
    ASSERT_NE (preset, nullptr);
    EXPECT_EQ (preset->getTagName(), "Preset");
    ASSERT_EQ (preset->getNumAttributes(), 2);
    EXPECT_EQ (preset->getAttributeName (0), "preset_name");
    EXPECT_EQ (preset->getAttributeName (1), "preset_data");
}

TEST (PresetList, LookupsChangeNothing)
{
    const char* headerXml = "<VokImpulseFile version=\"2.1\"><IRSamplePool number=\"1\"/></VokImpulseFile>";
    auto impulse = createImpulseWithHeader (headerXml);

    impulse->getPresetNames();
    impulse->getPresetData ("Hall");

    EXPECT_TRUE (impulse->getHeader().isEquivalentTo (juce::parseXML (juce::String (headerXml)).get(), false));
}

TEST (PresetList, MergeKeepsTheNewFilesLetterCaseAndData)
{
    auto oldFile = createImpulseWithHeader ("<VokImpulseFile><presets>"
                                            "<Preset preset_name=\"Vocal\" preset_data=\"old vocal\"/>"
                                            "<Preset preset_name=\"Drums\" preset_data=\"old drums\"/>"
                                            "</presets></VokImpulseFile>");
    auto newFile = createImpulseWithHeader ("<VokImpulseFile><presets>"
                                            "<Preset preset_name=\"VOCAL\" preset_data=\"new vocal\"/>"
                                            "</presets></VokImpulseFile>");

    const auto newNames = newFile->getPresetNames();

    for (auto& name : oldFile->getPresetNames())
        if (! newNames.contains (name, true))
            newFile->addPreset (name, oldFile->getPresetData (name));

    EXPECT_EQ (newFile->getPresetNames(), juce::StringArray ("Drums", "VOCAL"));
    EXPECT_EQ (newFile->getPresetData ("vocal"), "new vocal");
    EXPECT_EQ (newFile->getPresetData ("drums"), "old drums");
}

//==============================================================================
TEST (GetOrCreateChildElement, FindsTheFirstChildIgnoringCase)
{
    auto parent = juce::parseXML ("<Root><Presets id=\"1\"/><presets id=\"2\"/></Root>");
    auto* child = VOK_ImpulseFile::getOrCreateChildElement (*parent, "presets");

    ASSERT_NE (child, nullptr);
    EXPECT_EQ (child->getStringAttribute ("id"), "1");
    EXPECT_EQ (parent->getNumChildElements(), 2);
}

TEST (GetOrCreateChildElement, AppendsAMissingChildAsTheLast)
{
    auto parent = juce::parseXML ("<Root><A/><B/></Root>");
    auto* child = VOK_ImpulseFile::getOrCreateChildElement (*parent, "presets");

    ASSERT_EQ (parent->getNumChildElements(), 3);
    EXPECT_EQ (parent->getChildElement (2), child);
    EXPECT_EQ (child->getTagName(), "presets");
    EXPECT_EQ (child->getNumAttributes(), 0);
    EXPECT_EQ (child->getNumChildElements(), 0);
}

//==============================================================================
namespace
{
    struct OrderCase
    {
        const char* first;
        const char* second;
        int expectedSign;
    };

    const OrderCase orderCases[] =
    {
        { "Ambient",        "Cathedral",     -1 },
        { "-Bright",        "Ambient",        1 },
        { "-Bright",        "Cathedral",     -1 },
        { "bright",         "Bright",         0 },
        { "--bright",       "Bright",         0 },
        { "!@# ",           "",               0 },
        { "Hall 2",         "Hall 10",        1 },      // not a natural-number order
        { "Hall",           "Hall B",        -1 },
        { "\xc3\x89" "clair", "clair",        1 },      // É is a letter, never skipped
        { "\xc2\xab" "Hall\xc2\xbb", "Hall\xc2\xbb", 0 },  // « is punctuation
        { "\xe2\x80\x93 Room", "room",        0 },      // en dash
    };

    int sign (int value)   { return (value > 0) - (value < 0); }
}

TEST (PresetNameOrder, OrdersNamesAsTheFormatDoes)
{
    for (auto& c : orderCases)
    {
        const auto first  = juce::String::fromUTF8 (c.first);
        const auto second = juce::String::fromUTF8 (c.second);

        EXPECT_EQ (sign (PresetNameOrder::compare (first, second)), c.expectedSign)
            << c.first << " vs " << c.second;
        EXPECT_EQ (sign (PresetNameOrder::compare (second, first)), -c.expectedSign)
            << c.second << " vs " << c.first;
    }
}

TEST (PresetNameOrder, SortsAStringArray)
{
    juce::StringArray names ("Cathedral", "-Bright", "ambient", "Bright");
    PresetNameOrder comparator;
    names.strings.sort (comparator, true);

    EXPECT_EQ (names, juce::StringArray ("ambient", "-Bright", "Bright", "Cathedral"));
}

TEST (ComparePresetElements, ComparesThePresetNames)
{
    juce::XmlElement ambient ("Preset"), bright ("Preset"), unnamed ("Note");
    ambient.setAttribute ("preset_name", "Ambient");
    bright.setAttribute ("preset_name", "-Bright");

    EXPECT_LT (VOK_ImpulseFile::comparePresetElements (&ambient, &bright), 0);
    EXPECT_GT (VOK_ImpulseFile::comparePresetElements (&bright, &ambient), 0);
    EXPECT_EQ (VOK_ImpulseFile::comparePresetElements (&bright, &bright), 0);
    EXPECT_LT (VOK_ImpulseFile::comparePresetElements (&unnamed, &ambient), 0);
}

//==============================================================================
TEST (PresetList, ConcurrentAddsAllArriveSorted)
{
    VOK_ImpulseFile impulse;
    constexpr int numThreads = 4, presetsPerThread = 100;
    std::vector<std::thread> threads;

    for (int t = 0; t < numThreads; ++t)
        threads.emplace_back ([&impulse, t]
        {
            for (int i = 0; i < presetsPerThread; ++i)
            {
                impulse.addPreset ("Preset " + juce::String (t) + "-" + juce::String (i).paddedLeft ('0', 3), "d");
                impulse.getPresetNames();
            }
        });

    for (auto& thread : threads)
        thread.join();

    const auto names = impulse.getPresetNames();
    ASSERT_EQ (names.size(), numThreads * presetsPerThread);

    for (int i = 1; i < names.size(); ++i)
        ASSERT_LT (PresetNameOrder::compare (names[i - 1], names[i]), 0) << names[i - 1] << " / " << names[i];
}
