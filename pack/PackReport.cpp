/*
    vok_pack_report: measures the pack's impulse files and writes, into the report folder, a
    Markdown table of every measure against its target (pack-report.md, one section per room)
    and one PNG sheet per room (early part, decay curves, spectrogram, echo density).

        vok_pack_report <room table> <pack folder> <report folder> [room name prefix]

    Exits with 1 when a file can't be read or the report can't be written. The pack's tests
    judge the measures; the report shows them, missed ones marked.
*/

#include "PackMeasures.h"
#include "RoomReportSheet.h"

#include <VOK_ImpulseFile.h>

#include <iostream>

namespace
{
    juce::String formatRange (const PackMeasures::Row& row)
    {
        constexpr double unbounded = 1.0e8;

        if (row.high > unbounded)   return ">= " + juce::String (row.low, 2);
        if (row.low < -unbounded)   return "<= " + juce::String (row.high, 2);
        return juce::String (row.low, 2) + " .. " + juce::String (row.high, 2);
    }
}

int main (int argc, char* argv[])
{
    if (argc < 4)
    {
        std::cerr << "usage: vok_pack_report <room table> <pack folder> <report folder> [room name prefix]" << std::endl;
        return 2;
    }

    const auto cwd = juce::File::getCurrentWorkingDirectory();
    const auto packFolder = cwd.getChildFile (juce::String::fromUTF8 (argv[2]));
    const auto reportFolder = cwd.getChildFile (juce::String::fromUTF8 (argv[3]));
    const auto prefix = argc > 4 ? juce::String::fromUTF8 (argv[4]) : juce::String();

    juce::Array<RoomDesign> rooms;
    const auto loaded = RoomDesign::loadTable (cwd.getChildFile (juce::String::fromUTF8 (argv[1])), rooms);

    if (loaded.failed() || reportFolder.createDirectory().failed())
    {
        std::cerr << (loaded.failed() ? loaded.getErrorMessage() : "Can't create " + reportFolder.getFullPathName()) << std::endl;
        return 1;
    }

    juce::String markdown ("# The pack's rooms, measured\n\nEach value is the worst over the file's channels.\n");
    int missed = 0;

    for (const auto& room : rooms)
    {
        if (! room.name.startsWith (prefix))
            continue;

        markdown << "\n## " << room.name << "\n\n";
        std::vector<std::vector<PackMeasures::Row>> layouts;

        for (auto layout : { RoomSynthesiser::Layout::stereo, RoomSynthesiser::Layout::trueStereo })
        {
            const auto file = packFolder.getChildFile (layout == RoomSynthesiser::Layout::stereo ? room.getStereoFileName()
                                                                                                   : room.getTrueStereoFileName());
            VOK_ImpulseFile impulse;

            if (! impulse.readFile (file.getFullPathName()) || impulse.getSamplePool() == nullptr)
            {
                std::cerr << "Can't read " << file.getFullPathName() << std::endl;
                return 1;
            }

            juce::AudioBuffer<float> response;
            response.makeCopyOf (*impulse.getSamplePool());

            if (layout == RoomSynthesiser::Layout::stereo)
            {
                const auto sheetName = room.name.replaceCharacter (' ', '-') + ".png";
                const auto sheetFile = reportFolder.getChildFile (sheetName);
                juce::MemoryOutputStream png;

                if (! juce::PNGImageFormat().writeImageToStream (RoomReportSheet::draw (room, response), png)
                     || ! sheetFile.replaceWithData (png.getData(), png.getDataSize()))
                {
                    std::cerr << "Can't write " << sheetFile.getFullPathName() << std::endl;
                    return 1;
                }

                markdown << "![" << room.name << "](" << sheetName << ")\n\n";
            }

            auto rows = PackMeasures::measure (room, layout, response);
            rows.push_back ({ "reverberant level (dB)", PackMeasures::reverberantLevelDb (room, layout, response), -1.0e9, 1.0e9 });
            layouts.push_back (rows);
        }

        markdown << "| measure | stereo | true stereo | target |\n|---|---|---|---|\n";

        for (size_t row = 0; row < layouts[0].size(); ++row)
        {
            markdown << "| " << layouts[0][row].name;

            for (const auto& rows : layouts)
            {
                markdown << " | " << juce::String (rows[row].value, 2) << (rows[row].isMet() ? "" : " **missed**");
                missed += rows[row].isMet() ? 0 : 1;
            }

            markdown << " | " << formatRange (layouts[0][row]) << " |\n";
        }
    }

    const auto tableFile = reportFolder.getChildFile ("pack-report.md");

    if (! tableFile.replaceWithText (markdown))
    {
        std::cerr << "Can't write " << tableFile.getFullPathName() << std::endl;
        return 1;
    }

    std::cout << "Wrote " << tableFile.getFullPathName() << ": " << missed << " values miss their targets" << std::endl;
    return 0;
}
