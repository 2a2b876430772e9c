// Record-level behaviour of the two paths: which bytes are carried, the form
// a master output takes, failing host queues, and the heap left alone.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <iterator>
#include <utility>

#include "heap_watch.h"
#include "path_harness.h"

// ---- Sequenced records --------------------------------------------------------

static MfxEvent EventWithTail(LONG time, BYTE port, BYTE channel, LONG type, BYTE data1, BYTE data2) {
    MfxEvent event{};
    event.m_time = time;
    event.m_port = port;
    event.m_channel = channel;
    event.m_type = type;
    event.m_data1 = data1;
    event.m_data2 = data2;
    for (size_t i = 0; i < sizeof event.m_reserved; ++i) event.m_reserved[i] = static_cast<BYTE>(0xA0 + i);
    return event;
}

TEST(SequencedRecords, RewrittenEventKeepsTimePortChannelAndTail) {
    CFilterCore core;
    // The host's own numbers: 4 is channel pressure, 2 a controller.
    const MfxEvent modifier = EventWithTail(123456, 3, 5, 4, 0x55, 48);
    CFakeEventQueue input({modifier}), output;
    RunSequencedPath(core, &input, &output);
    ASSERT_EQ(output.m_added.size(), 1u);
    MfxEvent expected = modifier;
    expected.m_type = 2;
    expected.m_data1 = 1;
    expected.m_data2 = 54;  // R(0, 48)
    EXPECT_EQ(std::memcmp(&output.m_added[0], &expected, sizeof expected), 0);
}

TEST(SequencedRecords, MasterPressureLeavesAsPressureWithNumberZero) {
    CFilterCore core;
    core.SetParam(SettingRow, MasterCc, 0);
    core.SetParam(SettingRow, ModifierCc, 1);
    CFakeEventQueue input({EventWithTail(7, 1, 2, MfxChannelPressureEvent, 0x33, 40),
                           EventWithTail(8, 1, 2, MfxControllerEvent, 1, 48)}),
        output;
    RunSequencedPath(core, &input, &output);
    ASSERT_EQ(output.m_added.size(), 2u);
    for (const MfxEvent& event : output.m_added) {
        EXPECT_EQ(LONG{event.m_type}, MfxChannelPressureEvent);
        EXPECT_EQ(event.m_data1, 0);
        EXPECT_EQ(event.m_channel, 2);
    }
    EXPECT_EQ(output.m_added[0].m_data2, 40);
    EXPECT_EQ(output.m_added[1].m_data2, 77);
    EXPECT_EQ(LONG{output.m_added[1].m_time}, 8);
}

TEST(SequencedRecords, UnrelatedEventsAreCopiedByteForByte) {
    CFilterCore core;
    const MfxEvent events[] = {EventWithTail(1, 9, 15, 1, 60, 100), EventWithTail(2, 0, 3, MfxControllerEvent, 0, 5),
                               EventWithTail(3, 4, 4, 0x7FFFFFFF, 1, 64), EventWithTail(4, 4, 4, -1, 0, 0)};
    CFakeEventQueue input({std::begin(events), std::end(events)}), output;
    RunSequencedPath(core, &input, &output);
    ASSERT_EQ(output.m_added.size(), 4u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(std::memcmp(&output.m_added[i], &events[i], sizeof(MfxEvent)), 0) << i;
}

// A host whose records are longer than the bytes the filter names: its GetAt
// fills a whole record of its own size, its Add copies a whole one.
template <class Interface, class Record, std::size_t Size>
class CLongRecordQueue final : public CUncountedObject<Interface> {
public:
    using Bytes = std::array<BYTE, Size>;
    HRESULT STDMETHODCALLTYPE Add(const Record* record) override {
        m_added.emplace_back();
        std::memcpy(m_added.back().data(), record, Size);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override {
        *count = static_cast<LONG>(m_records.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAt(LONG index, Record* record) override {
        std::memcpy(record, m_records[static_cast<std::size_t>(index)].data(), Size);
        return S_OK;
    }
    std::vector<Bytes> m_records, m_added;
};

TEST(HostRecords, LongerRecordsFitAndTravelWhole) {
    CLongRecordQueue<IMfxEventQueue, MfxEvent, kHostEventRecordRoom> events, sentEvents;
    CLongRecordQueue<IMfxDataQueue, MfxData, kHostDataRecordRoom> messages, sentMessages;
    auto& event = events.m_records.emplace_back();
    for (std::size_t i = 0; i < event.size(); ++i) event[i] = static_cast<BYTE>(i * 7);
    event[6] = 4;  // channel pressure...
    event[7] = event[8] = event[9] = 0;
    event[11] = 48;  // ...48
    auto& message = messages.m_records.emplace_back();
    for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<BYTE>(i * 5);
    message[4] = 0xB3, message[5] = 1, message[6] = 64;
    CFilterCore core;
    RunSequencedPath(core, &events, &sentEvents);
    RunLivePath(core, &messages, &sentMessages);
    ASSERT_EQ(sentEvents.m_added.size(), 1u);
    ASSERT_EQ(sentMessages.m_added.size(), 1u);
    EXPECT_EQ(sentEvents.m_added[0][11], 54) << "R(0, 48) on controller 1";
    EXPECT_TRUE(std::equal(event.begin() + 12, event.end(), sentEvents.m_added[0].begin() + 12)) << "the tail travels";
    EXPECT_EQ(sentMessages.m_added[0][6], 91) << "R(64, 48): the modifier the block left";
    EXPECT_TRUE(std::equal(message.begin() + 7, message.end(), sentMessages.m_added[0].begin() + 7));
}

// ---- Live records ----------------------------------------------------------------

TEST(LiveRecords, MasterOutputsKeepTimeChannelAndLastByte) {
    CFilterCore core;
    CFakeDataQueue input({{1000, 0xD2, 48, 0x11, 0x7E}, {1001, 0xBE, 1, 64, 0x42}}), output;
    RunLivePath(core, &input, &output);
    ASSERT_EQ(output.m_added.size(), 2u);
    const MfxData& first = output.m_added[0];
    EXPECT_EQ(LONG{first.m_time}, 1000);
    EXPECT_EQ(first.m_status, 0xB2);
    EXPECT_EQ(first.m_data1, 1);
    EXPECT_EQ(first.m_data2, 54);
    EXPECT_EQ(first.m_extra, 0x7E);
    const MfxData& second = output.m_added[1];
    EXPECT_EQ(LONG{second.m_time}, 1001);
    EXPECT_EQ(second.m_status, 0xBE);
    EXPECT_EQ(second.m_data2, 91);
    EXPECT_EQ(second.m_extra, 0x42);
}

TEST(LiveRecords, MasterPressureRepeatsItsValueInBothDataBytes) {
    CFilterCore core;
    core.SetParam(SettingRow, MasterCc, 0);
    core.SetParam(SettingRow, ModifierCc, 1);
    CFakeDataQueue input({{5, 0xD2, 40, 0, 0}, {6, 0xB2, 1, 48, 9}}), output;
    RunLivePath(core, &input, &output);
    ASSERT_EQ(output.m_added.size(), 2u);
    EXPECT_EQ(output.m_added[0].m_status, 0xD2);
    EXPECT_EQ(output.m_added[0].m_data1, 40);
    EXPECT_EQ(output.m_added[0].m_data2, 40);
    EXPECT_EQ(output.m_added[1].m_status, 0xD2);
    EXPECT_EQ(output.m_added[1].m_data1, 77);
    EXPECT_EQ(output.m_added[1].m_data2, 77);
    EXPECT_EQ(output.m_added[1].m_extra, 9);
}

TEST(LiveRecords, OtherMessagesAreCopiedUnchanged) {
    // Polyphonic key pressure (0xA2) is not channel pressure, whichever stream that is.
    const MfxData messages[] = {{1, 0x92, 60, 100, 0}, {2, 0xE2, 0, 64, 1},  {3, 0xF8, 0, 0, 2},
                                {4, 0xB2, 0, 17, 3},   {5, 0xB2, 7, 100, 4}, {6, 0x00, 1, 64, 5},
                                {7, 0xA2, 60, 50, 6},  {8, 0x82, 60, 40, 7}};
    constexpr size_t count = std::size(messages);
    for (const auto& [master, modifier] : {std::pair{1, 0}, std::pair{0, 1}}) {
        SCOPED_TRACE(testing::Message() << "master " << master << " modifier " << modifier);
        CFilterCore core;
        SetSettings(core, master, modifier, 85, 0, 96, ModeAdd);
        CFakeDataQueue input({std::begin(messages), std::end(messages)}), output;
        RunLivePath(core, &input, &output);
        ASSERT_EQ(output.m_added.size(), count);
        for (size_t i = 0; i < count; ++i)
            EXPECT_EQ(std::memcmp(&output.m_added[i], &messages[i], sizeof(MfxData)), 0) << i;
        EXPECT_EQ(core.LastMaster(), 0);
        EXPECT_EQ(core.LastModifier(), 0);
    }
}

// ---- Failing host queues, on both paths --------------------------------------------

template <class Path>
class FailingQueues : public ::testing::Test {
protected:
    using Queue = typename Path::Queue;
    static Queue Input(const std::vector<Msg>& messages) {
        std::vector<typename Path::Record> records;
        for (const Msg& msg : messages) records.push_back(Path::Encode(msg));
        return Queue(records);
    }
    static std::vector<Msg> Decoded(const Queue& queue) {
        std::vector<Msg> result;
        for (const auto& record : queue.m_added) result.push_back(Path::Decode(record));
        return result;
    }
    CFilterCore m_core;
};

using BothPaths = ::testing::Types<SequencedOnEvents, LiveOnInput>;
TYPED_TEST_SUITE(FailingQueues, BothPaths);

TYPED_TEST(FailingQueues, FailedCountSendsNothing) {
    auto input = this->Input({CcMsg(1, 64), NoteMsg(60, 1)});
    input.m_failGetCount = true;
    typename TypeParam::Queue output;
    TypeParam::Run(this->m_core, input, output);
    EXPECT_EQ(input.m_getAtCalls, 0);
    EXPECT_EQ(output.m_addCalls, 0);
    EXPECT_EQ(this->m_core.LastMaster(), 0);
}

TYPED_TEST(FailingQueues, FailedFetchSkipsOnlyThatIndex) {
    auto input = this->Input({NoteMsg(60, 1), CcMsg(1, 64), PressureMsg(48), NoteMsg(61, 2)});
    input.m_failGetAtIndex = 1;
    typename TypeParam::Queue output;
    TypeParam::Run(this->m_core, input, output);
    EXPECT_EQ(input.m_getCountCalls, 1);
    EXPECT_EQ(input.m_getAtCalls, 4);
    EXPECT_EQ(this->Decoded(output), (std::vector<Msg>{NoteMsg(60, 1), CcMsg(1, 54), NoteMsg(61, 2)}))
        << "the master move at index 1 was never seen";
}

TYPED_TEST(FailingQueues, FailedAddStillCountsAsSent) {
    auto input = this->Input({CcMsg(1, 64), CcMsg(1, 64), NoteMsg(60, 1)});
    typename TypeParam::Queue output;
    output.m_failAddCall = 1;
    TypeParam::Run(this->m_core, input, output);
    EXPECT_EQ(output.m_addCalls, 2) << "the repeat is dropped even though its first Add failed";
    EXPECT_EQ(this->Decoded(output), std::vector<Msg>{NoteMsg(60, 1)});
    EXPECT_EQ(LastSent<TypeParam>(this->m_core), 64);
}

TEST(NullQueues, AreIgnored) {
    CFilterCore core;
    CFakeEventQueue events({SequencedOnEvents::Encode(CcMsg(1, 64))});
    RunSequencedPath(core, nullptr, &events);
    RunSequencedPath(core, &events, nullptr);
    CFakeDataQueue messages({LiveOnInput::Encode(CcMsg(1, 64))});
    RunLivePath(core, nullptr, &messages);
    RunLivePath(core, &messages, nullptr);
    EXPECT_EQ(events.m_getCountCalls + events.m_addCalls + messages.m_getCountCalls + messages.m_addCalls, 0);
}

TYPED_TEST(FailingQueues, PathsNeverTouchTheHeap) {
    std::vector<Msg> block;
    for (int i = 0; i < 256; ++i) block.push_back(i % 3 == 0 ? CcMsg(1, i % 128) : i % 3 == 1 ? PressureMsg(i % 128) : NoteMsg(60, 1));
    auto input = this->Input(block);
    typename TypeParam::Queue output;
    output.m_added.reserve(1024);  // the fake's own Add must not allocate either
    const long before = HeapAllocations();
    TypeParam::Run(this->m_core, input, output);
    this->m_core.ResetLastSent();
    TypeParam::Run(this->m_core, input, output);
    EXPECT_EQ(HeapAllocations() - before, 0);
    EXPECT_GT(output.m_added.size(), 256u);
}
