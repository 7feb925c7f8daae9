#include <app/SetupLayout.h>

#include <gtest/gtest.h>

#include <map>

namespace
{
    /** The boxes as the click scripts read them from the table: name -> x y width height. */
    std::map<juce::String, juce::Rectangle<int>> readBoxTable (const juce::File& table)
    {
        std::map<juce::String, juce::Rectangle<int>> boxes;

        for (auto& line : juce::StringArray::fromLines (table.loadFileAsString()))
        {
            if (line.trim().isEmpty() || line.startsWith ("#"))
                continue;

            auto fields = juce::StringArray::fromTokens (line, false);
            fields.removeEmptyStrings();

            if (fields.size() == 5)
                boxes[fields[0]] = { fields[1].getIntValue(), fields[2].getIntValue(),
                                     fields[3].getIntValue(), fields[4].getIntValue() };
            else
                ADD_FAILURE() << "not a box: " << line;
        }

        return boxes;
    }
}

// The windows lay themselves out from the header the build made of the table, and the scripts
// click by the table itself: a control must be where both of them think it is.
TEST (SetupLayout, TheProgramsBoxesAreTheOnesTheScriptsRead)
{
    const auto table = readBoxTable (juce::File (VOK_SETUP_LAYOUT_TABLE));
    ASSERT_FALSE (table.empty()) << VOK_SETUP_LAYOUT_TABLE;
    EXPECT_EQ (table.size(), std::size (SetupLayout::allBoxes));

    for (auto& [name, box] : SetupLayout::allBoxes)
    {
        const auto row = table.find (name);
        ASSERT_NE (row, table.end()) << name;
        EXPECT_EQ (box.toRectangle(), row->second) << name;
    }
}

// Every control lies inside the content of its window.
TEST (SetupLayout, ControlsLieInsideTheirWindow)
{
    const auto windowOf = [] (const juce::String& name)
    {
        return name.startsWith ("agree") ? SetupLayout::agreementContent : SetupLayout::setupPanel;
    };

    for (auto& [name, box] : SetupLayout::allBoxes)
        EXPECT_TRUE (windowOf (name).toRectangle().contains (box.toRectangle())) << name;
}
