// The routing of one channel message through a filter: which stream it moves
// (master, modifier, both, or neither), the modulation rule for the call's
// settings, the shared memories and the path's repeat suppression. Every
// face's loop gets a CRouter from CFilterCore::Play and calls it once per
// message; all of it is inline, so a face's loop runs straight through with
// no call per message.
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>

#include "parameters.h"

// The size in bytes, status included, of a plain channel message with this
// status: 2 for a program change or channel pressure, 3 for the others; 0
// for a byte that is no channel status.
constexpr std::uint32_t ChannelMessageSize(std::uint8_t status) {
    // 0x80..0xEF; of those, 0xC0..0xDF carry one data byte.
    return static_cast<unsigned>(status - 0x80) < 0x70u ? ((status & 0xE0u) == 0xC0u ? 2 : 3) : 0;
}

// Row 0 of the table as one call reads it; it serves the whole call.
struct FilterSettings {
    std::int32_t masterCc;
    std::int32_t modifierCc;
    std::int32_t effectAmount;
    std::int32_t lowIn;
    std::int32_t highIn;
    std::int32_t mode;
};

// What a message is to one call: a move of the master stream, of the
// modifier stream, of both (one stream set as both), or of neither.
enum StreamRole : unsigned { NeitherStream = 0, MasterStream = 1, ModifierStream = 2, BothStreams = 3 };

// The two streams as one call matches messages against them.
struct StreamWatch {
    // Stands for a stream setting that names no stream: it matches nothing.
    static constexpr std::int32_t kNoStream = -1;

    std::int32_t masterController;    // the master's controller number, or kNoStream
    std::int32_t modifierController;  // the modifier's, or kNoStream
    StreamRole pressureRole;          // what channel pressure is (the stream set to 0)

    // Controller 0 is the real controller 0, never pressure; pressure belongs
    // to whichever stream is set to 0.
    //
    // A stream setting outside 0..127 can only come from a damaged settings
    // stream. It names no MIDI stream, so it watches nothing: a modifier
    // there never moves, and with a master there nothing is sent at all,
    // since its number could not be sent as a MIDI data byte.
    static StreamWatch For(const FilterSettings& settings) {
        const auto isStream = [](std::int32_t number) { return number >= 0 && number <= 127; };
        const bool masterIsStream = isStream(settings.masterCc);
        const std::int32_t master = masterIsStream ? settings.masterCc : kNoStream;
        const std::int32_t modifier = masterIsStream && isStream(settings.modifierCc) ? settings.modifierCc : kNoStream;
        StreamWatch watch;
        watch.masterController = master > 0 ? master : kNoStream;
        watch.modifierController = modifier > 0 ? modifier : kNoStream;
        watch.pressureRole = static_cast<StreamRole>((master == 0 ? unsigned{MasterStream} : 0u) |
                                                     (modifier == 0 ? unsigned{ModifierStream} : 0u));
        return watch;
    }

    // What leaves is always the master stream: controller masterController,
    // or channel pressure when that stream is 0.
    bool PressureIsMaster() const { return (pressureRole & MasterStream) != 0; }
    StreamRole ControllerRole(std::int32_t number) const {
        if (number == masterController) return number == modifierController ? BothStreams : MasterStream;
        return number == modifierController ? ModifierStream : NeitherStream;
    }
};

// The modulation rule with one call's settings, chosen once per call so that
// the per-message work carries no test of the mode (WithRule).
//
// Add and Sub spend most of their work on the modifier's scale (two
// single-precision divisions), which depends on the modifier value alone: it
// is worked out the first time the call meets that value and kept for the
// rest of the call. Nothing is worked out before it is needed, so a short
// call, or one right after a setting changed, costs no more than the plain
// rule, but for marking the 128 scales unknown (a 512-byte fill); results are
// the rule's own, to the unit, since both go through the same two stages.
template <std::int32_t AddOrSub>
class CScaledRule {
public:
    // A scale is never NaN (amount and fraction are finite): NaN marks one
    // not yet worked out.
    explicit CScaledRule(const FilterSettings& settings)
        : m_low(settings.lowIn), m_high(settings.highIn), m_amount(settings.effectAmount) {
        for (float& scale : m_scale) scale = std::numeric_limits<float>::quiet_NaN();
    }

    [[gnu::always_inline]] std::int32_t operator()(std::int32_t base, std::int32_t modifier) {
        if (static_cast<std::uint32_t>(modifier) >= kValues)  // not a MIDI value: the plain rule
            return ComputeModulatedValue(base, modifier, m_low, m_high, AddOrSub, m_amount);
        float scale = m_scale[modifier];
        if (scale != scale) {  // not yet worked out in this call
            scale = ModulationScale(modifier, m_low, m_high, m_amount);
            m_scale[modifier] = scale;
        }
        return ApplyModulationScale(base, scale, AddOrSub);
    }

private:
    static constexpr std::uint32_t kValues = 128;
    const std::int32_t m_low, m_high, m_amount;
    float m_scale[kValues];
};

// Rel64 (integer arithmetic, nothing worth keeping) and any other mode.
class CPlainRule {
public:
    explicit CPlainRule(const FilterSettings& settings) : m_settings(settings) {}
    std::int32_t operator()(std::int32_t base, std::int32_t modifier) const {
        return ComputeModulatedValue(base, modifier, m_settings.lowIn, m_settings.highIn, m_settings.mode,
                                     m_settings.effectAmount);
    }

private:
    const FilterSettings m_settings;
};

// Runs `play(rule)` with the rule for these settings.
template <class Play>
void WithRule(const FilterSettings& settings, Play&& play) {
    switch (settings.mode) {
    case ModeAdd: {
        CScaledRule<ModeAdd> rule(settings);
        play(rule);
        break;
    }
    case ModeSub: {
        CScaledRule<ModeSub> rule(settings);
        play(rule);
        break;
    }
    default: {
        CPlainRule rule(settings);
        play(rule);
        break;
    }
    }
}

// The two ways a host drives a filter. They share the values seen last on
// each stream; each keeps its own memory of the master value it sent last.
enum class FilterPath { Sequenced, Live };

// A filter's run-time memories. Relaxed atomics: the paths may run on
// different threads at once, and nothing relies on an order between their
// updates.
struct FilterMemories {
    std::atomic<std::int32_t> lastMaster{0};     // last value seen on the master stream, both paths
    std::atomic<std::int32_t> lastModifier{0};   // last value seen on the modifier stream, both paths
    std::atomic<std::int32_t> lastEventOut{-1};  // sequenced path's last master value sent; -1 = none
    std::atomic<std::int32_t> lastInputOut{-1};  // live path's last master value sent; -1 = none

    template <FilterPath Path>
    std::atomic<std::int32_t>& LastSent() {
        if constexpr (Path == FilterPath::Sequenced) return lastEventOut;
        else return lastInputOut;
    }
};

// What channel pressure is to a router: fixed when the router is compiled
// for one role (a loop then tests nothing for it per message), or read from
// the settings at run time.
constexpr int kPressureRoleAtRunTime = -1;

// One path's routing for one call.
template <class Rule, FilterPath Path, int Pressure = kPressureRoleAtRunTime>
class CRouter {
public:
    CRouter(const StreamWatch& watch, Rule& rule, FilterMemories& memories)
        : m_watch(watch), m_rule(rule), m_memories(memories) {}

    // What a control change on controller `number`, or channel pressure, is
    // to this call: a move of the master stream, the modifier stream, both,
    // or neither (it leaves unchanged).
    StreamRole ControllerRole(std::uint8_t number) const { return m_watch.ControllerRole(number); }
    StreamRole PressureRole() const {
        if constexpr (Pressure == kPressureRoleAtRunTime) return m_watch.pressureRole;
        else return static_cast<StreamRole>(Pressure);
    }

    // A move of the master stream, the modifier stream or both (never
    // NeitherStream) with `value`: updates the shared memories and the path's
    // last-sent value and leaves the master value to send in `value`. False
    // when it repeats the master value this path sent last: nothing leaves.
    [[gnu::always_inline]] bool Move(StreamRole role, std::int32_t& value) {
        switch (role) {
        case MasterStream: return MoveOf<MasterStream>(value);
        case ModifierStream: return MoveOf<ModifierStream>(value);
        default: return MoveOf<BothStreams>(value);
        }
    }

    // The form of what leaves: channel pressure, or this controller.
    bool MasterIsPressure() const { return (PressureRole() & MasterStream) != 0; }
    std::uint8_t MasterController() const {
        return static_cast<std::uint8_t>(MasterIsPressure() ? 0 : m_watch.masterController);
    }

    // A plain channel message (status, then its data bytes), rewritten in
    // place into what leaves; false when nothing leaves. Channel pressure
    // leaves with its amount in the first data byte and 0 in the second.
    [[gnu::always_inline]] bool Route(std::uint8_t& status, std::uint8_t& data1, std::uint8_t& data2) {
        StreamRole role;
        std::int32_t value;
        switch (status & 0xF0) {
        case 0xB0: role = ControllerRole(data1), value = data2; break;
        case 0xD0: role = PressureRole(), value = data1; break;
        default: return true;
        }
        if (role == NeitherStream) return true;
        if (!Move(role, value)) return false;
        const std::uint8_t channel = status & 0x0F;
        if (MasterIsPressure()) {
            status = static_cast<std::uint8_t>(0xD0 | channel);
            data1 = static_cast<std::uint8_t>(value);
            data2 = 0;
        } else {
            status = static_cast<std::uint8_t>(0xB0 | channel);
            data1 = MasterController();
            data2 = static_cast<std::uint8_t>(value);
        }
        return true;
    }

private:
    // Compiled once per role, so each kind of move runs straight through.
    template <StreamRole Role>
    [[gnu::always_inline]] bool MoveOf(std::int32_t& value) {
        std::int32_t master, modifier;
        if constexpr ((Role & MasterStream) != 0) {
            master = value;
            m_memories.lastMaster.store(master, std::memory_order_relaxed);
            modifier = m_memories.lastModifier.load(std::memory_order_relaxed);
            value = m_rule(master, modifier);
        } else {
            master = m_memories.lastMaster.load(std::memory_order_relaxed);
        }
        if constexpr ((Role & ModifierStream) != 0) {
            // When one stream is both, the modifier takes the value as it now
            // stands, already modulated once.
            modifier = value;
            m_memories.lastModifier.store(modifier, std::memory_order_relaxed);
            value = m_rule(master, modifier);
        }
        std::atomic<std::int32_t>& lastSent = m_memories.template LastSent<Path>();
        if (value == lastSent.load(std::memory_order_relaxed)) return false;
        lastSent.store(value, std::memory_order_relaxed);
        return true;
    }

    const StreamWatch m_watch;
    Rule& m_rule;
    FilterMemories& m_memories;
};
