// count_plugin_instructions clap|vst3 MODULE: plays the benchmark's events
// (bench/blocks.h's pattern: master and modifier moves, notes, another
// controller) through the CLAP or VST3 edition in MODULE, 8 calls of 512 (the
// most a DPF plug-in takes a call) after one call that lets everything grow,
// so that valgrind's callgrind can count the instructions of the process
// calls (bench/instruction-ratios).
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tools/host/clap_host.h"
#include "tools/host/vst3_host.h"

namespace {

constexpr int kCalls = 8;
constexpr std::uint32_t kPerCall = 512;

// The calls callgrind counts (after the first, outside it).
[[gnu::noinline]] void MeasuredCalls(const std::function<void()>& call) {
    for (int i = 0; i < kCalls; ++i) call();
}

// The i-th message of a call.
std::vector<std::uint8_t> Message(std::uint32_t i) {
    switch (i % 4) {
    case 0: return {0xB0, 1, static_cast<std::uint8_t>(i * 7 % 128)};
    case 1: return {0xD0, static_cast<std::uint8_t>(i * 13 % 128)};
    case 2: return {0x90, 60, 100};
    default: return {0xB0, 7, 90};
    }
}

void Clap(const std::string& path) {
    CClapLibrary library(path);
    CClapInstance instance(library, library.Descriptor().id);
    instance.Activate(48000.0, kPerCall);
    instance.StartProcessing();
    std::vector<clap_event_midi_t> midi;
    for (std::uint32_t i = 0; i < kPerCall; ++i) {
        const std::vector<std::uint8_t> bytes = Message(i);
        midi.push_back(ClapMidiEvent(i, bytes[0], bytes[1], bytes.size() > 2 ? bytes[2] : 0));
    }
    std::vector<const clap_event_header_t*> events;
    for (const clap_event_midi_t& event : midi) events.push_back(&event.header);
    const clap_event_transport_t transport = ClapTransport(true, 0.0);
    std::vector<ClapMidiOut> out;
    out.reserve(kPerCall);
    const auto call = [&] {
        out.clear();
        instance.Process(kPerCall, events, &transport, out);
    };
    call();
    MeasuredCalls(call);
    std::printf("%zu out\n", out.size());
}

void Vst3(const std::string& path) {
    CVst3Library library(path);
    CVst3Instance instance(library);
    instance.Setup(48000.0, kPerCall);
    instance.SetActive(true);
    instance.SetProcessing(true);
    Vst3Input input;
    for (std::uint32_t i = 0; i < kPerCall; ++i) {
        const std::vector<std::uint8_t> bytes = Message(i);
        instance.AddMidi(input, static_cast<std::int32_t>(i), bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    }
    v3_process_context context = Vst3Transport(true, 0, 48000.0);
    std::vector<Vst3MidiOut> out;
    out.reserve(kPerCall);
    const auto call = [&] {
        out.clear();
        instance.Process(static_cast<std::int32_t>(kPerCall), input, &context, out);
    };
    call();
    MeasuredCalls(call);
    std::printf("%zu out\n", out.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string format = argv[1];
    if (format == "clap") Clap(argv[2]);
    else if (format == "vst3") Vst3(argv[2]);
    else return 2;
    return 0;
}
