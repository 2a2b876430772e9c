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

    std::int32_t operator()(std::int32_t base, std::int32_t modifier) {
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

// The memories one path works with: the two values seen last, shared by
// every path of a filter, and the master value this path sent last (-1:
// none). Relaxed atomics: paths may run on different threads at once, and
// nothing relies on an order between their updates.
struct PathMemories {
    std::atomic<std::int32_t>& lastMaster;
    std::atomic<std::int32_t>& lastModifier;
    std::atomic<std::int32_t>& lastSent;
};

// One path's routing for one call.
template <class Rule>
class CRouter {
public:
    // What becomes of a message: it leaves unchanged (kPass), is dropped as a
    // repeat of the master value sent last (kDrop), or leaves as the master
    // stream with the value returned (0..127).
    static constexpr std::int32_t kPass = -1;
    static constexpr std::int32_t kDrop = -2;

    CRouter(const StreamWatch& watch, Rule& rule, const PathMemories& memories)
        : m_watch(watch), m_rule(rule), m_memories(memories) {}

    // A control change on controller `number`, or channel pressure.
    [[gnu::always_inline]] std::int32_t Controller(std::uint8_t number, std::uint8_t value) {
        const StreamRole role = m_watch.ControllerRole(number);
        return role == NeitherStream ? kPass : Move(role, value);
    }
    [[gnu::always_inline]] std::int32_t Pressure(std::uint8_t value) {
        return m_watch.pressureRole == NeitherStream ? kPass : Move(m_watch.pressureRole, value);
    }

    // The form of what leaves: channel pressure, or this controller.
    bool MasterIsPressure() const { return m_watch.PressureIsMaster(); }
    std::uint8_t MasterController() const {
        return static_cast<std::uint8_t>(m_watch.PressureIsMaster() ? 0 : m_watch.masterController);
    }

    // A plain channel message (status, then its data bytes), rewritten in
    // place into what leaves; false when nothing leaves. Channel pressure
    // leaves with its amount in the first data byte and 0 in the second.
    [[gnu::always_inline]] bool Route(std::uint8_t& status, std::uint8_t& data1, std::uint8_t& data2) {
        std::int32_t fate;
        switch (status & 0xF0) {
        case 0xB0: fate = Controller(data1, data2); break;
        case 0xD0: fate = Pressure(data1); break;
        default: return true;
        }
        if (fate == kPass) return true;
        if (fate == kDrop) return false;
        const std::uint8_t channel = status & 0x0F;
        const auto value = static_cast<std::uint8_t>(fate);
        if (MasterIsPressure()) {
            status = static_cast<std::uint8_t>(0xD0 | channel);
            data1 = value;
            data2 = 0;
        } else {
            status = static_cast<std::uint8_t>(0xB0 | channel);
            data1 = MasterController();
            data2 = value;
        }
        return true;
    }

private:
    // A move of the master stream, the modifier stream or both: updates the
    // shared memories and the path's last-sent value. Compiled once per role,
    // so each kind of move runs straight through.
    template <StreamRole Role>
    [[gnu::always_inline]] std::int32_t MoveOf(std::int32_t value) {
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
        if (value == m_memories.lastSent.load(std::memory_order_relaxed)) return kDrop;
        m_memories.lastSent.store(value, std::memory_order_relaxed);
        return value;
    }
    [[gnu::always_inline]] std::int32_t Move(StreamRole role, std::int32_t value) {
        switch (role) {
        case MasterStream: return MoveOf<MasterStream>(value);
        case ModifierStream: return MoveOf<ModifierStream>(value);
        default: return MoveOf<BothStreams>(value);
        }
    }

    const StreamWatch m_watch;
    Rule& m_rule;
    const PathMemories m_memories;
};
