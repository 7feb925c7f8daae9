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

#include <impulse/VOK_ImpulseFile.h>

#include <algorithm>
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

    juce::String markdown ("# The pack's rooms, measured\n\nEach value is the worst over the file's channels, or over its microphone pairs (T30 and EDT: the mean of the paths; the late envelope: the paths pooled).\n");
    int missed = 0;

    for (const auto& room : rooms)
    {
        if (! room.name.startsWith (prefix))
            continue;

        markdown << "\n## " << room.name << "\n\n";
        std::vector<std::vector<PackMeasures::Row>> layouts;
        std::vector<juce::AudioBuffer<float>> responses;

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
            rows.push_back ({ "reverberant level (dB)", PackMeasures::reverberantLevelDb (room, layout, response), -1.0e9, 1.0e9,
                              "the pack's level; within 1.5 dB across files" });
            layouts.push_back (rows);
            responses.push_back (std::move (response));
        }

        markdown << "| measure | stereo | true stereo | range | source of the range |\n|---|---|---|---|---|\n";

        // The true-stereo file has every measure of the stereo one and some of its own.
        for (const auto& measure : layouts[1])
        {
            markdown << "| " << measure.name;

            for (const auto& rows : layouts)
            {
                const auto found = std::find_if (rows.begin(), rows.end(), [&] (const auto& row) { return row.name == measure.name; });

                if (found == rows.end())
                {
                    markdown << " | -";
                    continue;
                }

                markdown << " | " << juce::String (found->value, 2) << (found->isMet() ? "" : " **missed**");
                missed += found->isMet() ? 0 : 1;
            }

            markdown << " | " << formatRange (measure) << " | " << measure.source << " |\n";
        }

        // One room in both files: the same decay whichever layout is chosen.
        const auto agreement = PackMeasures::t30Agreement (room, responses[0], responses[1]);
        missed += agreement.isMet() ? 0 : 1;
        markdown << "\nT30 of the true-stereo file against the stereo one, worst band (" << juce::roundToInt (agreement.bandCentre) << " Hz): "
                 << juce::String (100.0 * agreement.difference, 1) << " % (at most " << juce::String (100.0 * agreement.tolerance, 1)
                 << " %: 5 %, or the estimator's scatter 1.25/sqrt(B T30) where larger)" << (agreement.isMet() ? "" : " **missed**") << "\n";
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
