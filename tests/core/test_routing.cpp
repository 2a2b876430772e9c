// Routing of master and modifier moves, checked on both event paths with the
// same cases: what is rewritten, what passes, what is dropped as a repeat.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/core/core_paths.h"
#include "tests/core/malformed_messages.h"

template <class Path>
class Routing : public ::testing::Test {
protected:
    std::vector<Msg> Send(const std::vector<Msg>& messages) { return Pass<Path>(m_engine, messages); }
    CFilterCore m_engine;
};

using BothPaths = ::testing::Types<SequencedPath, LivePath>;
TYPED_TEST_SUITE(Routing, BothPaths);

using Out = std::vector<Msg>;

TYPED_TEST(Routing, DefaultsMasterMovesAndRepeats) {
    // Defaults: master CC 1, modifier = channel pressure, Add 85%, 0..96.
    EXPECT_EQ(this->Send({CcMsg(1, 64, 2)}), Out{CcMsg(1, 64, 2)}) << "modifier still 0: fraction 0";
    EXPECT_EQ(this->Send({CcMsg(1, 64, 2)}), Out{}) << "repeat of the last value sent";
    EXPECT_EQ(this->Send({PressureMsg(48, 2)}), Out{CcMsg(1, 91, 2)}) << "R(64, 48)";
    EXPECT_EQ(this->Send({PressureMsg(96, 2), PressureMsg(127, 2)}), Out{CcMsg(1, 118, 2)})
        << "118 twice: the second is dropped";
    EXPECT_EQ(this->m_engine.LastMaster(), 64);
    EXPECT_EQ(this->m_engine.LastModifier(), 127) << "a dropped move still updates the memories";
    EXPECT_EQ(TypeParam::LastSent(this->m_engine), 118);
}

TYPED_TEST(Routing, UnrelatedMessagesPassUnchangedAndInOrder) {
    const Out in = {CcMsg(0, 33, 1), CcMsg(7, 100, 3), NoteMsg(60, 90, 4), CcMsg(0, 33, 1), CcMsg(7, 100, 3)};
    EXPECT_EQ(this->Send(in), in) << "controller 0 and 7 are not streams; nothing is de-duplicated";
    EXPECT_EQ(this->m_engine.LastMaster(), 0);
    EXPECT_EQ(this->m_engine.LastModifier(), 0);
}

TYPED_TEST(Routing, RealControllerZeroIsNeverPressure) {
    SetSettings(this->m_engine, 0, 0, 100, 0, 127, ModeAdd);
    EXPECT_EQ(this->Send({CcMsg(0, 50, 6)}), Out{CcMsg(0, 50, 6)});
    EXPECT_EQ(this->m_engine.LastMaster(), 0);
}

TYPED_TEST(Routing, MasterOnPressureModifierOnController) {
    SetSettings(this->m_engine, 0, 1, 85, 0, 96, ModeAdd);
    EXPECT_EQ(this->Send({PressureMsg(40, 5)}), Out{PressureMsg(40, 5)}) << "R(40, 0)";
    EXPECT_EQ(this->Send({CcMsg(1, 48, 5)}), Out{PressureMsg(77, 5)}) << "R(40, 48); no controller 1 comes out";
    EXPECT_EQ(this->Send({CcMsg(7, 100, 5)}), Out{CcMsg(7, 100, 5)});
    EXPECT_EQ(this->m_engine.LastMaster(), 40);
    EXPECT_EQ(this->m_engine.LastModifier(), 48);
}

TYPED_TEST(Routing, ModifierOnControllerMasterOnController) {
    SetSettings(this->m_engine, 1, 11, 100, 0, 127, ModeAdd);
    EXPECT_EQ(this->Send({CcMsg(1, 64, 9), CcMsg(11, 127, 9)}),
              (Out{CcMsg(1, 64, 9), CcMsg(1, 127, 9)}));
    EXPECT_EQ(this->Send({PressureMsg(99, 9)}), Out{PressureMsg(99, 9)}) << "neither stream is pressure";
}

TYPED_TEST(Routing, OneControllerBothStreams) {
    SetSettings(this->m_engine, 7, 7, 100, 0, 127, ModeAdd);
    EXPECT_EQ(this->Send({CcMsg(7, 64)}), Out{CcMsg(7, 96)}) << "w = R(64, 0) = 64, then R(64, 64)";
    EXPECT_EQ(this->m_engine.LastMaster(), 64);
    EXPECT_EQ(this->m_engine.LastModifier(), 64);
    CFilterCore fresh;
    SetSettings(fresh, 7, 7, 100, 0, 127, ModeAdd);
    EXPECT_EQ(Pass<TypeParam>(fresh, {CcMsg(7, 96), CcMsg(7, 10)}), (Out{CcMsg(7, 120), CcMsg(7, 101)}))
        << "each move is modulated by the modifier it leaves: R(96, R(96, 0)), then R(10, R(10, 96))";
}

TYPED_TEST(Routing, PressureBothStreams) {
    SetSettings(this->m_engine, 0, 0, 100, 0, 127, ModeAdd);
    EXPECT_EQ(this->Send({PressureMsg(64, 3)}), Out{PressureMsg(96, 3)});
    EXPECT_EQ(this->m_engine.LastMaster(), 64);
    EXPECT_EQ(this->m_engine.LastModifier(), 64);
}

TYPED_TEST(Routing, ChannelsShareOneMemory) {
    EXPECT_EQ(this->Send({CcMsg(1, 64, 0), CcMsg(1, 64, 9)}), Out{CcMsg(1, 64, 0)})
        << "the same value on another channel is still a repeat";
}

TYPED_TEST(Routing, StartAndLoopForgetOnlyTheLastSent) {
    EXPECT_EQ(this->Send({PressureMsg(48), CcMsg(1, 64)}), (Out{CcMsg(1, 54), CcMsg(1, 91)}));
    this->m_engine.ResetLastSent();
    EXPECT_EQ(this->Send({CcMsg(1, 64), CcMsg(1, 64)}), Out{CcMsg(1, 91)}) << "sent once again after a start";
    this->m_engine.ResetLastSent();
    EXPECT_EQ(this->Send({CcMsg(1, 64)}), Out{CcMsg(1, 91)}) << "and after a loop";
    EXPECT_EQ(this->m_engine.LastModifier(), 48) << "seen values survive a start";
}

TYPED_TEST(Routing, ChangedStreamsApplyToTheNextCall) {
    EXPECT_EQ(this->Send({CcMsg(1, 10)}), Out{CcMsg(1, 10)});
    this->m_engine.SetParam(SettingRow, MasterCc, 2);
    EXPECT_EQ(this->Send({CcMsg(1, 20), CcMsg(2, 30)}), (Out{CcMsg(1, 20), CcMsg(2, 30)}));
}

TYPED_TEST(Routing, SettingsChangedDuringACallWaitForTheNext) {
    const auto settingsMoved = [&](int index) {  // the page moves the master and the mode while the block runs
        if (index == 1) {
            this->m_engine.SetParam(SettingRow, MasterCc, 2);
            this->m_engine.SetParam(SettingRow, Mode, ModeSub);
        }
    };
    const Out sent = Pass<TypeParam>(this->m_engine, {CcMsg(1, 10), CcMsg(2, 20), PressureMsg(96)}, settingsMoved);
    EXPECT_EQ(sent, (Out{CcMsg(1, 10), CcMsg(2, 20), CcMsg(1, 110)})) << "R(10, 96) in Add, on controller 1";
    EXPECT_EQ(this->Send({PressureMsg(0)}), Out{CcMsg(2, 10)}) << "the next call uses the new settings";
}

TYPED_TEST(Routing, StreamsOutsideMidiWatchNothing) {
    // Only a damaged settings stream brings such numbers; no MIDI data byte can carry them.
    // With master 1, the first is sent as it is.
    const Out in = {CcMsg(1, 64), PressureMsg(48), CcMsg(72, 5), CcMsg(128, 9)};
    for (const auto& [master, modifier] :
         {std::pair{200, 0}, std::pair{128, 0}, std::pair{-1, 0}, std::pair{1, 128}, std::pair{1, -5}}) {
        CFilterCore engine;
        SetSettings(engine, master, modifier, 85, 0, 96, ModeAdd);
        EXPECT_EQ(Pass<TypeParam>(engine, in), in) << "master " << master << " modifier " << modifier;
    }
}

TYPED_TEST(Routing, ValuesBeyondMidiSendMidiValues) {
    // A loaded stream may hold any amount, and a record's value byte any of
    // 0..255; what is sent is still the rule's MIDI value.
    Out above127 = {CcMsg(1, 64)};
    for (int value = 128; value <= 255; ++value) above127.push_back(PressureMsg(value));
    struct Case {
        const char* what;
        int amount, mode;
        Out in, out;
    };
    const Case cases[] = {
        {"Rel64 by 2^31 - 1 from 255 clamps, never wraps", INT32_MAX, ModeRel64, {PressureMsg(255)}, {CcMsg(1, 127)}},
        {"Add: modifiers 128..255 act in full, as any above High In", 85, ModeAdd, above127,
         {CcMsg(1, 64), CcMsg(1, 118)}},
        {"Sub: likewise", 85, ModeSub, above127, {CcMsg(1, 64), CcMsg(1, 9)}},
    };
    for (const Case& c : cases) {
        CFilterCore engine;
        SetSettings(engine, 1, 0, c.amount, 0, 96, c.mode);
        EXPECT_EQ(Pass<TypeParam>(engine, c.in), c.out) << c.what;
    }
}

TYPED_TEST(Routing, MalformedMessagesAsEveryFaceAnswersThem) {
    // Route takes whole messages: status and two data bytes (pressure's second unused).
    CFilterCore engine;
    engine.Play<TypeParam::kPath>([&](auto& router) {
        for (const MalformedMessage& row : kMalformedMessages) {
            if (row.cutShort) continue;
            std::uint8_t bytes[3] = {row.in[0], row.in[1], row.in.size() > 2 ? row.in[2] : std::uint8_t{0}};
            std::vector<std::uint8_t> out;
            if (router.Route(bytes[0], bytes[1], bytes[2])) out.assign(bytes, bytes + ChannelMessageSize(bytes[0]));
            EXPECT_EQ(out, row.out) << row.what;
        }
    });
}

TYPED_TEST(Routing, OutOfRangeModeSendsZeroes) {
    this->m_engine.SetParam(SettingRow, Mode, 7);
    EXPECT_EQ(this->Send({CcMsg(1, 64), PressureMsg(10)}), Out{CcMsg(1, 0)}) << "the second 0 is a repeat";
}

TEST(SharedMemories, EachPathFeedsTheOther) {
    CFilterCore engine;
    EXPECT_EQ(Pass<LivePath>(engine, {PressureMsg(48)}), Out{CcMsg(1, 54)}) << "R(0, 48): no master seen yet";
    EXPECT_EQ(Pass<SequencedPath>(engine, {CcMsg(1, 64)}), Out{CcMsg(1, 91)}) << "uses the live modifier";
    EXPECT_EQ(Pass<SequencedPath>(engine, {PressureMsg(0)}), Out{CcMsg(1, 64)});
    EXPECT_EQ(Pass<LivePath>(engine, {PressureMsg(96)}), Out{CcMsg(1, 118)}) << "uses the sequenced master";
}

TEST(SharedMemories, EachPathDeduplicatesOnItsOwn) {
    CFilterCore engine;
    EXPECT_EQ(Pass<SequencedPath>(engine, {CcMsg(1, 64)}), Out{CcMsg(1, 64)});
    EXPECT_EQ(Pass<LivePath>(engine, {CcMsg(1, 64)}), Out{CcMsg(1, 64)}) << "the live path has sent nothing yet";
    EXPECT_EQ(Pass<LivePath>(engine, {CcMsg(1, 64)}), Out{});
    EXPECT_EQ(Pass<SequencedPath>(engine, {CcMsg(1, 64)}), Out{});
    EXPECT_EQ(engine.LastEventOut(), 64);
    EXPECT_EQ(engine.LastInputOut(), 64);
    engine.ResetLastSent();
    EXPECT_EQ(engine.LastEventOut(), -1);
    EXPECT_EQ(engine.LastInputOut(), -1);
}
