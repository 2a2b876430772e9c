// Everything a host and the page may run at once on one filter: both event
// paths, the page's edits, settings saved and loaded, playback started and
// looped. Built under ThreadSanitizer this is the data-race check; under the
// other builds it checks that every value sent stays a MIDI value. It runs for
// VELTRACE_STRESS_SECONDS (default 1) and prints what it did.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "filter/settings_stream.h"
#include "memory_stream.h"
#include "path_harness.h"

namespace {

double StressSeconds() {
    const char* text = std::getenv("VELTRACE_STRESS_SECONDS");
    const double seconds = text != nullptr ? std::atof(text) : 1.0;
    return seconds > 0 ? seconds : 1.0;
}

}  // namespace

TEST(Concurrency, EveryoneAtOnce) {
    CFilterCore core;
    std::vector<MfxEvent> events;
    std::vector<MfxData> messages;
    for (int i = 0; i < 128; ++i) {
        events.push_back(SequencedOnEvents::Encode(i % 3 ? CcMsg(i % 5, i) : PressureMsg(127 - i)));
        messages.push_back(LiveOnInput::Encode(i % 2 ? PressureMsg(i) : CcMsg(1 + i % 3, 127 - i)));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(StressSeconds());
    const auto running = [&] { return std::chrono::steady_clock::now() < deadline; };
    std::atomic<long> badValues{0}, blocks{0}, calls{0}, edits{0}, loads{0}, starts{0};

    std::thread sequenced([&] {
        CFakeEventQueue input(events), output;
        output.m_added.reserve(events.size());
        do {  // once at least, however late the thread starts
            output.m_added.clear();
            RunSequencedPath(core, &input, &output);
            for (const MfxEvent& event : output.m_added)
                if (event.m_data1 > 127 || event.m_data2 > 127) ++badValues;
            ++blocks;
        } while (running());
    });
    std::thread live([&] {
        CFakeDataQueue input(messages), output;
        output.m_added.reserve(messages.size());
        do {  // once at least, however late the thread starts
            output.m_added.clear();
            RunLivePath(core, &input, &output);
            for (const MfxData& data : output.m_added)
                if (data.m_data1 > 127 || data.m_data2 > 127) ++badValues;
            ++calls;
        } while (running());
    });
    std::thread page([&] {  // a cell, then the dirty flag, as fast as it can
        std::mt19937 draw(1);
        do {  // once at least, however late the thread starts
            const std::uint32_t cell = draw() % kParamCells;
            // Mostly values the page offers, now and then anything a stream could hold.
            const std::int32_t value =
                draw() % 8 ? static_cast<std::int32_t>(draw() % 129) : static_cast<std::int32_t>(draw());
            core.SetParam(cell / kParamsPerRow, cell % kParamsPerRow, value);
            ++edits;
        } while (running());
    });
    std::thread persistence([&] {  // the host saving and restoring the project
        do {  // once at least, however late the thread starts
            CMemoryStream stream;
            SaveSettings(core, &stream);
            stream.m_position = 0;
            LoadSettings(core, &stream);
            ++loads;
        } while (running());
    });
    std::thread transport([&] {
        do {  // once at least, however late the thread starts
            core.ResetLastSent();  // OnStart and OnLoop
            ++starts;
            std::this_thread::yield();
        } while (running());
    });
    for (std::thread* thread : {&sequenced, &live, &page, &persistence, &transport}) thread->join();

    EXPECT_EQ(badValues.load(), 0);
    for (const long count : {blocks.load(), calls.load(), edits.load(), loads.load(), starts.load()})
        EXPECT_GT(count, 0) << "every thread ran";
    for (const std::int32_t memory :
         {core.LastMaster(), core.LastModifier(), core.LastEventOut(), core.LastInputOut()})
        EXPECT_TRUE(memory >= -1 && memory <= 127) << memory;
    std::printf("stress: %.1f s, %ld blocks, %ld live calls, %ld edits, %ld save-and-loads, %ld starts, "
                "%ld values out of range\n",
                StressSeconds(), blocks.load(), calls.load(), edits.load(), loads.load(), starts.load(),
                badValues.load());
}
