// The CLAP and VST3 editions as the tests drive them: one instance at a
// time, made, activated and processing, through the project's small hosts
// (tools/host), so that one table of cases runs against either format.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A MIDI message at a frame of a call.
struct TimedMessage {
    std::uint32_t frame;
    std::vector<std::uint8_t> bytes;
    bool operator==(const TimedMessage& other) const { return frame == other.frame && bytes == other.bytes; }
};

// The host's transport at the start of a call.
struct Transport {
    bool playing;
    double beats;  // where it stands, at 120 beats a minute in 4/4
};

// One of the six settings as the host lists it.
struct SettingParameter {
    std::string name;
    double minimum, maximum, defaultValue;
    bool automatable, stepped;
};

class CEdition {
public:
    virtual ~CEdition() = default;

    // The plug-in as the host lists it before making one.
    virtual std::string Name() const = 0;
    virtual std::string Vendor() const = 0;
    virtual std::string Version() const = 0;
    virtual std::string Id() const = 0;                    // CLAP's id; VST3's category
    virtual std::vector<std::string> Features() const = 0;  // CLAP's features; VST3's subcategories

    // A new instance in place of the one there was (none: Destroy).
    virtual void Make() = 0;
    virtual void Destroy() = 0;
    virtual std::uint32_t MidiPorts(bool input) const = 0;

    virtual SettingParameter Parameter(std::uint32_t setting) const = 0;
    virtual std::optional<std::string> Text(std::uint32_t setting, double value) const = 0;
    virtual std::optional<double> Value(std::uint32_t setting, const std::string& text) const = 0;
    // The setting's value as the host reads it.
    virtual double Get(std::uint32_t setting) const = 0;

    // A parameter change to go with the next call, at a frame of it.
    virtual void Change(std::uint32_t setting, std::uint32_t frame, double value) = 0;

    virtual bool SaveState(std::vector<std::uint8_t>& bytes) = 0;
    virtual bool LoadState(const std::vector<std::uint8_t>& bytes, std::size_t piece) = 0;

    // As the format lets a host start over: CLAP's reset; VST3's processing
    // stopped and started again.
    virtual void Reset() = 0;
    virtual void Reactivate() = 0;

    // One call: these messages in, what came out.
    virtual std::vector<TimedMessage> Process(std::uint32_t frames, const std::vector<TimedMessage>& in,
                                              std::optional<Transport> transport) = 0;
};

std::unique_ptr<CEdition> OpenClapEdition(const std::string& path);
std::unique_ptr<CEdition> OpenVst3Edition(const std::string& path);

// The longest call the tests make, as the instances are set up for it.
constexpr std::uint32_t kMaxFrames = 1024;
constexpr double kSampleRate = 48000.0;
