// Routing of master and modifier moves: what is rewritten, what passes, what
// is dropped as a repeat. Written once and run through every door into the
// core (core_paths.h): a test program instantiates Routing with its doors and
// SharedMemories with its face, a pair of doors over one core.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "tests/core/core_paths.h"
#include "tests/core/malformed_messages.h"

template <class Door>
class Routing : public ::testing::Test {
protected:
    std::vector<Msg> Send(const std::vector<Msg>& messages) { return Pass<Door>(m_core, messages); }
    CFilterCore m_core;
};
TYPED_TEST_SUITE_P(Routing);

namespace routing_cases {

using Out = std::vector<Msg>;

// One call: what goes in, what must come out.
struct Call {
    Out in, out;
    const char* why = "";
};

// The memories after the case's last call: the last master and modifier
// seen, and the master value this path sent last.
struct Memories {
    std::int32_t master, modifier, sent;
};

struct Case {
    const char* what;
    int settings[kParamsPerRow];  // master, modifier, amount, low, high, mode
    std::vector<Call> calls;      // in order, on one new filter
    std::optional<Memories> after;
};

inline std::vector<Case> Cases() {
    // A loaded stream may hold any amount, and a record's value byte any of
    // 0..255; what is sent is still the rule's MIDI value.
    Out above127 = {CcMsg(1, 64)};
    for (int value = 128; value <= 255; ++value) above127.push_back(PressureMsg(value));
    // Only a damaged settings stream brings stream numbers outside MIDI; no
    // data byte can carry them. With master 1, the first is sent as it is.
    const Out watchNothing = {CcMsg(1, 64), PressureMsg(48), CcMsg(72, 5), CcMsg(128, 9)};
    const Out unrelated = {CcMsg(0, 33, 1), CcMsg(7, 100, 3), NoteMsg(60, 90, 4), CcMsg(0, 33, 1), CcMsg(7, 100, 3)};

    return {
        {"defaults: master CC 1, modifier pressure, Add 85%, 0..96",
         {1, 0, 85, 0, 96, ModeAdd},
         {{{CcMsg(1, 64, 2)}, {CcMsg(1, 64, 2)}, "modifier still 0: fraction 0"},
          {{CcMsg(1, 64, 2)}, {}, "repeat of the last value sent"},
          {{PressureMsg(48, 2)}, {CcMsg(1, 91, 2)}, "R(64, 48)"},
          {{PressureMsg(96, 2), PressureMsg(127, 2)}, {CcMsg(1, 118, 2)}, "118 twice: the second is dropped"}},
         Memories{64, 127, 118}},  // a dropped move still updates the memories
        {"unrelated messages pass unchanged and in order; nothing is de-duplicated",
         {1, 0, 85, 0, 96, ModeAdd},
         {{unrelated, unrelated, "controller 0 and 7 are not streams"}},
         Memories{0, 0, -1}},
        {"a real controller 0 is never pressure",
         {0, 0, 100, 0, 127, ModeAdd},
         {{{CcMsg(0, 50, 6)}, {CcMsg(0, 50, 6)}}},
         Memories{0, 0, -1}},
        {"master on pressure, modifier on a controller",
         {0, 1, 85, 0, 96, ModeAdd},
         {{{PressureMsg(40, 5)}, {PressureMsg(40, 5)}, "R(40, 0)"},
          {{CcMsg(1, 48, 5)}, {PressureMsg(77, 5)}, "R(40, 48); no controller 1 comes out"},
          {{CcMsg(7, 100, 5)}, {CcMsg(7, 100, 5)}}},
         Memories{40, 48, 77}},
        {"master and modifier on controllers",
         {1, 11, 100, 0, 127, ModeAdd},
         {{{CcMsg(1, 64, 9), CcMsg(11, 127, 9)}, {CcMsg(1, 64, 9), CcMsg(1, 127, 9)}},
          {{PressureMsg(99, 9)}, {PressureMsg(99, 9)}, "neither stream is pressure"}},
         std::nullopt},
        {"one controller both streams",
         {7, 7, 100, 0, 127, ModeAdd},
         {{{CcMsg(7, 64)}, {CcMsg(7, 96)}, "w = R(64, 0) = 64, then R(64, 64)"}},
         Memories{64, 64, 96}},
        {"one controller both streams: each move is modulated by the modifier it leaves",
         {7, 7, 100, 0, 127, ModeAdd},
         {{{CcMsg(7, 96), CcMsg(7, 10)}, {CcMsg(7, 120), CcMsg(7, 101)}, "R(96, R(96, 0)), then R(10, R(10, 96))"}},
         std::nullopt},
        {"pressure both streams",
         {0, 0, 100, 0, 127, ModeAdd},
         {{{PressureMsg(64, 3)}, {PressureMsg(96, 3)}}},
         Memories{64, 64, 96}},
        {"channels share one memory",
         {1, 0, 85, 0, 96, ModeAdd},
         {{{CcMsg(1, 64, 0), CcMsg(1, 64, 9)}, {CcMsg(1, 64, 0)}, "the same value on another channel is a repeat"}},
         std::nullopt},
        {"a mode out of range sends zeroes",
         {1, 0, 85, 0, 96, 7},
         {{{CcMsg(1, 64), PressureMsg(10)}, {CcMsg(1, 0)}, "the second 0 is a repeat"}},
         std::nullopt},
        {"master 200 watches nothing", {200, 0, 85, 0, 96, ModeAdd}, {{watchNothing, watchNothing}}, std::nullopt},
        {"master 128 watches nothing", {128, 0, 85, 0, 96, ModeAdd}, {{watchNothing, watchNothing}}, std::nullopt},
        {"master -1 watches nothing", {-1, 0, 85, 0, 96, ModeAdd}, {{watchNothing, watchNothing}}, std::nullopt},
        {"modifier 128 watches nothing", {1, 128, 85, 0, 96, ModeAdd}, {{watchNothing, watchNothing}}, std::nullopt},
        {"modifier -5 watches nothing", {1, -5, 85, 0, 96, ModeAdd}, {{watchNothing, watchNothing}}, std::nullopt},
        {"Rel64 by 2^31 - 1 from 255 clamps, never wraps",
         {1, 0, INT32_MAX, 0, 96, ModeRel64},
         {{{PressureMsg(255)}, {CcMsg(1, 127)}}},
         std::nullopt},
        {"Add: modifiers 128..255 act in full, as any above High In",
         {1, 0, 85, 0, 96, ModeAdd},
         {{above127, {CcMsg(1, 64), CcMsg(1, 118)}}},
         std::nullopt},
        {"Sub: likewise", {1, 0, 85, 0, 96, ModeSub}, {{above127, {CcMsg(1, 64), CcMsg(1, 9)}}}, std::nullopt},
    };
}

}  // namespace routing_cases

TYPED_TEST_P(Routing, EveryCase) {
    using namespace routing_cases;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.what);
        CFilterCore core;
        const int* s = c.settings;
        SetSettings(core, s[0], s[1], s[2], s[3], s[4], s[5]);
        for (const Call& call : c.calls) EXPECT_EQ(Pass<TypeParam>(core, call.in), call.out) << call.why;
        if (c.after) {
            EXPECT_EQ(core.LastMaster(), c.after->master);
            EXPECT_EQ(core.LastModifier(), c.after->modifier);
            EXPECT_EQ(LastSent<TypeParam>(core), c.after->sent);
        }
    }
}

TYPED_TEST_P(Routing, StartAndLoopForgetOnlyTheLastSent) {
    using routing_cases::Out;
    EXPECT_EQ(this->Send({PressureMsg(48), CcMsg(1, 64)}), (Out{CcMsg(1, 54), CcMsg(1, 91)}));
    this->m_core.ResetLastSent();
    EXPECT_EQ(this->Send({CcMsg(1, 64), CcMsg(1, 64)}), Out{CcMsg(1, 91)}) << "sent once again after a start";
    this->m_core.ResetLastSent();
    EXPECT_EQ(this->Send({CcMsg(1, 64)}), Out{CcMsg(1, 91)}) << "and after a loop";
    EXPECT_EQ(this->m_core.LastModifier(), 48) << "seen values survive a start";
}

TYPED_TEST_P(Routing, ChangedStreamsApplyToTheNextCall) {
    using routing_cases::Out;
    EXPECT_EQ(this->Send({CcMsg(1, 10)}), Out{CcMsg(1, 10)});
    this->m_core.SetParam(SettingRow, MasterCc, 2);
    EXPECT_EQ(this->Send({CcMsg(1, 20), CcMsg(2, 30)}), (Out{CcMsg(1, 20), CcMsg(2, 30)}));
}

TYPED_TEST_P(Routing, SettingsChangedDuringACallWaitForTheNext) {
    using routing_cases::Out;
    const auto settingsMoved = [&](int index) {  // the page moves the master and the mode while the block runs
        if (index == 1) {
            this->m_core.SetParam(SettingRow, MasterCc, 2);
            this->m_core.SetParam(SettingRow, Mode, ModeSub);
        }
    };
    const Out sent = Pass<TypeParam>(this->m_core, {CcMsg(1, 10), CcMsg(2, 20), PressureMsg(96)}, settingsMoved);
    EXPECT_EQ(sent, (Out{CcMsg(1, 10), CcMsg(2, 20), CcMsg(1, 110)})) << "R(10, 96) in Add, on controller 1";
    EXPECT_EQ(this->Send({PressureMsg(0)}), Out{CcMsg(2, 10)}) << "the next call uses the new settings";
}

TYPED_TEST_P(Routing, MalformedMessagesAsEveryFaceAnswersThem) {
    // A door takes whole messages: one cut short cannot be handed to it.
    const auto asMsg = [](const std::vector<std::uint8_t>& bytes) {
        return Decode({bytes[0], bytes[1], bytes.size() > 2 ? bytes[2] : std::uint8_t{0}});
    };
    for (const MalformedMessage& row : kMalformedMessages) {
        if (row.cutShort) continue;
        const routing_cases::Out out = row.out.empty() ? routing_cases::Out{} : routing_cases::Out{asMsg(row.out)};
        EXPECT_EQ(this->Send({asMsg(row.in)}), out) << row.what;
    }
}

REGISTER_TYPED_TEST_SUITE_P(Routing, EveryCase, StartAndLoopForgetOnlyTheLastSent, ChangedStreamsApplyToTheNextCall,
                            SettingsChangedDuringACallWaitForTheNext, MalformedMessagesAsEveryFaceAnswersThem);

// The two paths of one face share the memories of what was seen; each keeps
// its own of what it sent. A face is a type naming its Sequenced and Live
// doors, and its kName.
template <class Face>
class SharedMemories : public ::testing::Test {};
TYPED_TEST_SUITE_P(SharedMemories);

TYPED_TEST_P(SharedMemories, EachPathFeedsTheOther) {
    using Sequenced = typename TypeParam::Sequenced;
    using Live = typename TypeParam::Live;
    using routing_cases::Out;
    CFilterCore core;
    EXPECT_EQ(Pass<Live>(core, {PressureMsg(48)}), Out{CcMsg(1, 54)}) << "R(0, 48): no master seen yet";
    EXPECT_EQ(Pass<Sequenced>(core, {CcMsg(1, 64)}), Out{CcMsg(1, 91)}) << "uses the live modifier";
    EXPECT_EQ(Pass<Sequenced>(core, {PressureMsg(0)}), Out{CcMsg(1, 64)});
    EXPECT_EQ(Pass<Live>(core, {PressureMsg(96)}), Out{CcMsg(1, 118)}) << "uses the sequenced master";
}

TYPED_TEST_P(SharedMemories, EachPathDeduplicatesOnItsOwn) {
    using Sequenced = typename TypeParam::Sequenced;
    using Live = typename TypeParam::Live;
    using routing_cases::Out;
    CFilterCore core;
    EXPECT_EQ(Pass<Sequenced>(core, {CcMsg(1, 64)}), Out{CcMsg(1, 64)});
    EXPECT_EQ(Pass<Live>(core, {CcMsg(1, 64)}), Out{CcMsg(1, 64)}) << "the live path has sent nothing yet";
    EXPECT_EQ(Pass<Live>(core, {CcMsg(1, 64)}), Out{});
    EXPECT_EQ(Pass<Sequenced>(core, {CcMsg(1, 64)}), Out{});
    EXPECT_EQ(core.LastEventOut(), 64);
    EXPECT_EQ(core.LastInputOut(), 64);
    core.ResetLastSent();
    EXPECT_EQ(core.LastEventOut(), -1);
    EXPECT_EQ(core.LastInputOut(), -1);
}

REGISTER_TYPED_TEST_SUITE_P(SharedMemories, EachPathFeedsTheOther, EachPathDeduplicatesOnItsOwn);
