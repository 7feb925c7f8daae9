/*
    vok_make_pack: writes the pack's impulse files from the room table.

        vok_make_pack <room table> <output folder>

    Prints one line per room with its measured T30 at 500 Hz and 2 kHz against the
    targets, and exits with 1 when the table can't be read or a file can't be written.
*/

#include "PackWriter.h"

#include <atomic>
#include <iostream>
#include <thread>
#include <vector>

namespace
{
    juce::String describeT30 (const RoomDesign& room, const RoomDesign::BandValues& measured)
    {
        juce::String text;

        for (size_t band = 0; band < measured.size(); ++band)
            text << juce::String (measured[band], 2) << "/" << juce::String (room.targetT30[band], 2) << " ";

        return text.trimEnd();
    }
}

int main (int argc, char* argv[])
{
    if (argc != 3)
    {
        std::cerr << "usage: vok_make_pack <room table> <output folder>" << std::endl;
        return 2;
    }

    const auto tableFile = juce::File::getCurrentWorkingDirectory().getChildFile (juce::String::fromUTF8 (argv[1]));
    const auto folder = juce::File::getCurrentWorkingDirectory().getChildFile (juce::String::fromUTF8 (argv[2]));

    juce::Array<RoomDesign> rooms;
    const auto loaded = RoomDesign::loadTable (tableFile, rooms);

    if (loaded.failed())
    {
        std::cerr << loaded.getErrorMessage() << std::endl;
        return 1;
    }

    const auto created = folder.createDirectory();

    if (created.failed())
    {
        std::cerr << "Can't create " << folder.getFullPathName() << ": " << created.getErrorMessage() << std::endl;
        return 1;
    }

    const auto started = juce::Time::getMillisecondCounterHiRes();

    // Rooms are independent and each is seeded from its own design, so writing them on two
    // threads gives the same files as writing them one after another.
    std::vector<juce::Result> results ((size_t) rooms.size(), juce::Result::ok());
    std::vector<PackWriter::RoomReport> reports ((size_t) rooms.size());
    std::atomic<int> nextRoom { 0 };

    const auto writeRooms = [&]
    {
        for (int index = nextRoom++; index < rooms.size(); index = nextRoom++)
            results[(size_t) index] = PackWriter::writeRoom (rooms.getReference (index), folder, reports[(size_t) index]);
    };

    std::vector<std::thread> workers;
    const auto numWorkers = juce::jlimit (1u, 2u, std::thread::hardware_concurrency());

    for (unsigned int i = 0; i < numWorkers; ++i)
        workers.emplace_back (writeRooms);

    for (auto& worker : workers)
        worker.join();

    for (int index = 0; index < rooms.size(); ++index)
    {
        const auto& room = rooms.getReference (index);

        if (results[(size_t) index].failed())
        {
            std::cerr << results[(size_t) index].getErrorMessage() << std::endl;
            return 1;
        }

        std::cout << room.name << ": T30 measured/target (125..4000 Hz) stereo "
                  << describeT30 (room, reports[(size_t) index].stereoT30) << ", true stereo "
                  << describeT30 (room, reports[(size_t) index].trueStereoT30) << std::endl;
    }

    std::cout << "Wrote " << 2 * rooms.size() << " impulse files to " << folder.getFullPathName() << " in "
              << juce::String ((juce::Time::getMillisecondCounterHiRes() - started) / 1000.0, 1) << " s" << std::endl;
    return 0;
}
