// Both event paths and the page's edits at once on one filter, as a host may
// run them. Built under ThreadSanitizer this is the data-race check; under
// the other builds it checks that every value sent stays a MIDI value.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "path_harness.h"

TEST(Concurrency, PathsEditsAndTransportAtOnce) {
    CFilterEngine engine;
    std::vector<MfxEvent> events;
    std::vector<MfxData> messages;
    for (int i = 0; i < 128; ++i) {
        events.push_back(SequencedPath::Encode(i % 2 ? CcMsg(1, i) : PressureMsg(127 - i)));
        messages.push_back(LivePath::Encode(i % 2 ? PressureMsg(i) : CcMsg(1, 127 - i)));
    }
    std::atomic<bool> stop{false};
    std::atomic<int> badValues{0};

    std::thread sequenced([&] {
        CFakeEventQueue input(events), output;
        output.m_added.reserve(events.size());
        for (int round = 0; round < 300; ++round) {
            output.m_added.clear();
            engine.OnEvents(&input, &output);
            for (const MfxEvent& event : output.m_added)
                if (event.m_data2 > 127) ++badValues;
        }
    });
    std::thread live([&] {
        CFakeDataQueue input(messages), output;
        output.m_added.reserve(messages.size());
        for (int round = 0; round < 300; ++round) {
            output.m_added.clear();
            engine.OnInput(&input, &output);
            for (const MfxData& data : output.m_added)
                if (data.m_data1 > 127 || data.m_data2 > 127) ++badValues;
        }
    });
    std::thread page([&] {
        for (int step = 0; !stop.load(); ++step) {
            engine.SetParam(SettingRow, static_cast<std::uint32_t>(2 + step % 4), step % 101);
            if (step % 7 == 0) engine.ResetLastSent();
        }
    });
    sequenced.join();
    live.join();
    stop = true;
    page.join();
    EXPECT_EQ(badValues.load(), 0);
    EXPECT_GE(engine.LastMaster(), 0);
    EXPECT_LE(engine.LastMaster(), 127);
}
