// Writes the fuzzer's seed corpus: a few valid files of each layout and a few broken ones.
//   make_fuzz_corpus OUTPUT_FOLDER

#include "ImpulseFileBytes.h"

#include <iostream>

using namespace ImpulseFileBytes;

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "usage: make_fuzz_corpus OUTPUT_FOLDER\n";
        return 2;
    }

    const juce::File folder (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));
    folder.createDirectory();

    const std::vector<float> a { 0.5f, -0.25f, 1.0f, 0.0f };
    const std::vector<float> b { 0.125f, 2.0f, -3.0f, 1e-30f };

    auto write = [&folder] (const char* name, const juce::MemoryBlock& bytes)
    {
        writeFile (folder.getChildFile (name), bytes);
    };

    const auto h21 = headerElement ("2.1", 2, 4);
    const auto h21s = headerElement ("2.1", 1, 4, "true");
    const auto h20 = headerElement ("2.0", 2, 4);
    const auto h1 = headerElement ("2.1", 1, 4);

    write ("valid-21-packed-picture", Builder().header (packedDocument (*h21)).block (picturePayload ("3.gI1X"))
                                               .block (audioPayload (0, a)).block (audioPayload (1, b)).bytes());
    write ("valid-21-scrambled", Builder().header (packedDocument (*h21s)).block (audioPayload (0, a, true)).bytes());
    write ("valid-21-unpacked", Builder().header (documentText (*h1)).block (audioPayload (0, a)).bytes());
    write ("valid-20", Builder().header (documentText (*h20)).raw (audioRecord (0, a)).raw (audioRecord (1, b)).bytes());
    write ("header-only", Builder().header (documentText (*headerElement ("2.1", 1, 0))).bytes());
    write ("out-of-order-unknown", Builder().header (packedDocument (*h21)).block (audioPayload (1, b))
                                            .block (Builder().string ("NOTES").string ("x").bytes())
                                            .block (audioPayload (0, a)).bytes());
    write ("trailing-zeros", Builder().header (documentText (*h1)).block (audioPayload (0, a)).zeros (8).bytes());
    write ("lower-case-tags", Builder().header (documentText (*h1)).string ("block").decimal (30)
                                       .string ("audiodata").decimal (0).decimal (4).samples (a).bytes());
    write ("block-too-long", Builder().header (documentText (*h1)).string ("BLOCK").decimal (999999).zeros (4).bytes());
    write ("channel-32", Builder().header (documentText (*h1)).block (audioPayload (32, a)).bytes());
    write ("count-too-large", Builder().header (documentText (*h1))
                                       .block (Builder().string ("AUDIODATA").decimal (0).decimal (1000).samples (a).bytes()).bytes());
    auto truncated = Builder().header (packedDocument (*h21)).block (audioPayload (0, a)).bytes();
    truncated.setSize (truncated.getSize() - 6);
    write ("truncated", truncated);
    write ("bad-cfh-data", Builder().header ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<VokImpulseFile version=\"2.1\" cfh_data=\"ABE6F42143.gI1X\"/>\r\n").bytes());
    write ("v20-negative", Builder().header (documentText (*h20)).string ("AUDIODATA").decimal (-1).decimal (1).samples ({ 1 }).bytes());
    write ("not-xml", Builder().header ("<VokImpulseFile").string ("BLOCK").bytes());

    return 0;
}
