// readFile and saveToFile of a 4-channel impulse of 383,477 samples per channel with a 300 KB
// picture, plain and scrambled, next to their baselines: reading the file's bytes into memory
// (and the reader's floor, which also undoes the scrambling), and writing as many bytes to a
// new file. Then the peak memory of one read, measured in a
// fresh process:  bench_impulse_file --measure-read-memory FILE

#include <safeio/FileReplacement.h>
#include <impulse/ImpulseFileFields.h>
#include <impulse/NewImpulseHeader.h>
#include <impulse/VOK_ImpulseFile.h>
#include <read_floor.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>

#if defined (__GLIBC__)
 #include <malloc.h>
#endif

namespace
{
    constexpr int numChannels = 4;
    constexpr int numSamples = 383477;
    constexpr size_t pictureBytes = 225 * 1024;    // 300 KB as base-64 text

    struct Files
    {
        juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                              .getNonexistentChildFile ("vok-bench", "", false);
        juce::File plain, scrambled;

        ~Files()   { folder.deleteRecursively(); }
    };

    Files& getFiles()
    {
        static Files files;
        return files;
    }

    juce::File writeImpulse (const juce::String& name, bool scrambled)
    {
        auto pool = std::make_unique<VOK_VokSampleBuffer> (numChannels, numSamples, 44100.0);
        juce::Random random (42);

        for (int c = 0; c < numChannels; ++c)
            for (int i = 0; i < numSamples; ++i)
                pool->setSample (c, i, (random.nextFloat() * 2.0f - 1.0f) * std::exp (-(float) i / 80000.0f));

        juce::MemoryBlock picture (pictureBytes);
        random.fillBitsRandomly (picture.getData(), picture.getSize());

        // The header an impulse made from an audio file gets, scrambled like a shipped pack's.
        auto header = NewImpulseHeader::create (*pool, "hall.wav");

        if (scrambled)
            header->setAttribute ("crypted", "true");

        header->createNewChildElement ("presets");

        VOK_ImpulseFile impulse;
        impulse.setHeader (std::move (header));
        impulse.setSamplePool (std::move (pool));
        impulse.setPictureText (picture.toBase64Encoding());
        impulse.setFormatState (VOK_ImpulseFile::builtFromAudio);

        const auto file = getFiles().folder.getChildFile (name);

        if (! impulse.saveToFile (file.getFullPathName()))
        {
            std::cerr << "Can't write " << file.getFullPathName() << "\n";
            std::exit (1);
        }

        return file;
    }

    const juce::File& getImpulseFile (bool scrambled)
    {
        auto& files = getFiles();
        return scrambled ? files.scrambled : files.plain;
    }

    //==============================================================================
    void readFile (benchmark::State& state)
    {
        const auto& file = getImpulseFile (state.range (0) != 0);

        for (auto _ : state)
        {
            VOK_ImpulseFile impulse;

            if (! impulse.readFile (file.getFullPathName()))
                state.SkipWithError ("readFile failed");

            benchmark::DoNotOptimize (impulse.getSamplePool()->getReadPointer (0));
        }

        state.SetBytesProcessed (state.iterations() * file.getSize());
    }

    void readBytesBaseline (benchmark::State& state)
    {
        const auto& file = getImpulseFile (state.range (0) != 0);

        for (auto _ : state)
        {
            juce::FileInputStream input (file);
            juce::MemoryBlock bytes ((size_t) input.getTotalLength());
            input.read (bytes.getData(), (int) bytes.getSize());
            benchmark::DoNotOptimize (bytes.getData());
        }

        state.SetBytesProcessed (state.iterations() * file.getSize());
    }

    // The least a reader must do (../floors/read_floor.c): read the bytes, undo the scrambling.
    static_assert (VOK_FLOOR_SCRAMBLING_KEY == ImpulseFileFields::scramblingKey);

    void readFloor (benchmark::State& state)
    {
        const auto& file = getImpulseFile (state.range (0) != 0);
        const auto path = file.getFullPathName();

        for (auto _ : state)
        {
            unsigned char* bytes = nullptr;

            if (vok_floor_read (path.toRawUTF8(), state.range (0) != 0, &bytes) != file.getSize())
                state.SkipWithError ("read failed");

            benchmark::DoNotOptimize (bytes);
            std::free (bytes);
        }

        state.SetBytesProcessed (state.iterations() * file.getSize());
    }

    // Saves to a new file, like the baseline; replaceExisting saves over the previous save
    // instead, where the file system writes the new data out before the rename replaces the
    // old file (ext4 does so to keep one of them whole after a power cut): that costs more.
    void saveImpulse (benchmark::State& state, bool replaceExisting)
    {
        const auto& file = getImpulseFile (state.range (0) != 0);
        VOK_ImpulseFile impulse;
        impulse.readFile (file.getFullPathName());
        const auto target = getFiles().folder.getChildFile ("saved.vok");

        for (auto _ : state)
        {
            if (! replaceExisting)
                target.deleteFile();

            if (! impulse.saveToFile (target.getFullPathName()))
                state.SkipWithError ("saveToFile failed");
        }

        state.SetBytesProcessed (state.iterations() * file.getSize());
    }

    void saveToFile (benchmark::State& state)              { saveImpulse (state, false); }
    void saveToFileOverExisting (benchmark::State& state)  { saveImpulse (state, true); }

    // Writes the same number of bytes to a new file and closes it, as a save does (neither
    // forces the data to the disk).
    void writeBytesBaseline (benchmark::State& state)
    {
        const auto& file = getImpulseFile (state.range (0) != 0);
        juce::MemoryBlock bytes;
        file.loadFileAsData (bytes);
        const auto target = getFiles().folder.getChildFile ("baseline.bin");

        for (auto _ : state)
        {
            target.deleteFile();
            bool written = false;

            {
                juce::FileOutputStream output (target, 32768);
                written = output.write (bytes.getData(), bytes.getSize()) && output.getStatus().wasOk();
            }

            if (! written || target.getSize() != (juce::int64) bytes.getSize())
                state.SkipWithError ("write failed");
        }

        state.SetBytesProcessed (state.iterations() * (juce::int64) bytes.getSize());
    }

    //==============================================================================
    // What lasting through a power cut costs: a file that replaces another one has its data
    // flushed to the disk before the rename; a new file is only renamed into place. Both
    // write the impulse file's bytes through the same replacement.
    void writeThroughReplacement (benchmark::State& state, bool overExisting)
    {
        const auto& file = getImpulseFile (state.range (0) != 0);
        juce::MemoryBlock bytes;
        file.loadFileAsData (bytes);
        const auto target = getFiles().folder.getChildFile ("replaced.vok");
        target.deleteFile();

        for (auto _ : state)
        {
            if (overExisting && ! target.existsAsFile())
                target.replaceWithData (bytes.getData(), bytes.getSize());

            if (! overExisting)
            {
                state.PauseTiming();
                target.deleteFile();
                state.ResumeTiming();
            }

            FileReplacement replacement (target);
            const bool written = replacement.openedOk() && replacement.getStream().write (bytes.getData(), bytes.getSize())
                                  && (overExisting ? replacement.replaceTarget() : replacement.createTarget());

            if (! written)
                state.SkipWithError ("write failed");
        }

        target.deleteFile();
        state.SetBytesProcessed (state.iterations() * (juce::int64) bytes.getSize());
    }

    void createNewFile (benchmark::State& state)        { writeThroughReplacement (state, false); }
    void replaceFlushedFile (benchmark::State& state)   { writeThroughReplacement (state, true); }

    //==============================================================================
    // Prints the runs as usual and keeps each benchmark's median time, so that the ratios to
    // the baselines can be given at the end, each from medians of this one run.
    class MedianKeepingReporter  : public benchmark::ConsoleReporter
    {
    public:
        void ReportRuns (const std::vector<Run>& runs) override
        {
            for (auto& run : runs)
                if (run.aggregate_name == "median")
                    medians[run.run_name.function_name + "/" + run.run_name.args] = run.GetAdjustedRealTime();

            benchmark::ConsoleReporter::ReportRuns (runs);
        }

        void reportRatios() const
        {
            // A target of 0 means the row is shown for comparison only.
            struct Row { const char* operation; const char* baseline; double targetPlain, targetScrambled; };
            const Row rows[] { { "readFile", "readFloor", 1.15, 1.15 },
                               { "readFile", "readBytesBaseline", 1.3, 1.5 },
                               { "saveToFile", "writeBytesBaseline", 2.0, 2.0 },
                               { "saveToFileOverExisting", "writeBytesBaseline", 0.0, 0.0 },
                               { "replaceFlushedFile", "createNewFile", 0.0, 0.0 } };

            struct Variant { const char* args; const char* name; bool scrambled; };
            const Variant variants[] { { "scrambled:0", "plain", false }, { "scrambled:1", "scrambled", true } };

            for (auto& row : rows)
            {
                for (auto& variant : variants)
                {
                    const auto target = variant.scrambled ? row.targetScrambled : row.targetPlain;
                    const auto operation = medians.find (std::string (row.operation) + "/" + variant.args);
                    const auto baseline = medians.find (std::string (row.baseline) + "/" + variant.args);

                    if (operation == medians.end() || baseline == medians.end() || baseline->second <= 0)
                        continue;

                    const auto ratio = operation->second / baseline->second;
                    std::cout << row.operation << " " << variant.name << " / " << row.baseline << ": "
                              << juce::String (ratio, 2) << " x (medians " << juce::String (operation->second, 3)
                              << " / " << juce::String (baseline->second, 3) << " ms)";

                    if (target > 0)
                        std::cout << ", target <= " << target << " x: " << (ratio <= target ? "met" : "MISSED");

                    std::cout << "\n";
                }
            }
        }

    private:
        std::map<std::string, double> medians;
    };

    //==============================================================================
    // The peak resident size of this process's memory: VmHWM starts afresh with every exec,
    // where getrusage's maximum is carried over from the parent.
    juce::int64 getPeakKilobytes()
    {
        const auto status = juce::File ("/proc/self/status").loadFileAsString();
        return status.fromFirstOccurrenceOf ("VmHWM:", false, false).trim().getLargeIntValue();
    }

    int measureReadMemory (const juce::String& path)
    {
        VOK_ImpulseFile impulse;
        const auto before = getPeakKilobytes();
        const bool ok = impulse.readFile (path);
        const auto after = getPeakKilobytes();
        std::cout << (ok ? "ok " : "failed ") << (after - before) << "\n";
        return ok ? 0 : 1;
    }

    void reportReadMemory()
    {
        for (bool scrambled : { false, true })
        {
            juce::ChildProcess child;
            const auto& file = getImpulseFile (scrambled);
            const juce::StringArray command { juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName(),
                                              "--measure-read-memory", file.getFullPathName() };

            if (! child.start (command))
                continue;

            const auto output = child.readAllProcessOutput().trim();
            const auto growthKB = output.fromFirstOccurrenceOf (" ", false, false).getLargeIntValue();
            const auto poolKB = (juce::int64) numChannels * numSamples * 4 / 1024;
            const auto payloadKB = ((juce::int64) numSamples * 4 + 20) / 1024;
            const auto limitKB = poolKB + payloadKB + 1024;

            std::cout << "Peak memory of one read (" << (scrambled ? "scrambled" : "plain") << "): "
                      << growthKB << " KB (" << output.upToFirstOccurrenceOf (" ", false, false) << "); limit = pool "
                      << poolKB << " KB + one block " << payloadKB << " KB + 1024 KB = " << limitKB << " KB: "
                      << (growthKB <= limitKB ? "within" : "OVER") << "\n";
        }
    }
}

BENCHMARK (readFile)->Arg (0)->Arg (1)->ArgName ("scrambled")->Unit (benchmark::kMillisecond);
BENCHMARK (readBytesBaseline)->Arg (0)->Arg (1)->ArgName ("scrambled")->Unit (benchmark::kMillisecond);
BENCHMARK (readFloor)->Arg (0)->Arg (1)->ArgName ("scrambled")->Unit (benchmark::kMillisecond);
BENCHMARK (saveToFile)->Arg (0)->Arg (1)->ArgName ("scrambled")->Unit (benchmark::kMillisecond);
BENCHMARK (saveToFileOverExisting)->Arg (0)->Arg (1)->ArgName ("scrambled")->Unit (benchmark::kMillisecond);
BENCHMARK (writeBytesBaseline)->Arg (0)->Arg (1)->ArgName ("scrambled")->Unit (benchmark::kMillisecond);
BENCHMARK (createNewFile)->Arg (0)->ArgName ("scrambled")->Unit (benchmark::kMillisecond);
BENCHMARK (replaceFlushedFile)->Arg (0)->ArgName ("scrambled")->Unit (benchmark::kMillisecond);

int main (int argc, char** argv)
{
    if (argc == 3 && std::strcmp (argv[1], "--measure-read-memory") == 0)
        return measureReadMemory (argv[2]);

   #if defined (__GLIBC__)
    // Every reader here gets memory that the previous repetition has already touched, so that
    // the times compare the readers' work and not the kernel's page faults: glibc would
    // otherwise learn to keep a large block for a reader that frees one in one piece, and give
    // a reader that frees a block per channel fresh pages each time.
    mallopt (M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt (M_TRIM_THRESHOLD, 512 * 1024 * 1024);
   #endif

    auto& files = getFiles();
    files.folder.createDirectory();
    files.plain = writeImpulse ("plain.vok", false);
    files.scrambled = writeImpulse ("scrambled.vok", true);

    benchmark::Initialize (&argc, argv);
    MedianKeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks (&reporter);
    benchmark::Shutdown();

    reporter.reportRatios();

    reportReadMemory();
    return 0;
}
