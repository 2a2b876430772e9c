// veltrace-host: plays a Standard MIDI File through the Veltrace plug-in as a
// sequencer does, and writes what comes out. The plug-in is loaded as a host
// loads it (through the registry, or from a named file), each track gets a
// filter of its own, and the settings reach every filter through its settings
// stream, exactly as a host restores a project.
#include <cstdio>
#include <string>
#include <vector>

#include <objbase.h>
#include <ocidl.h>

#include "engine/class_ids.h"
#include "engine/mfx.h"
#include "tools/host/host_options.h"
#include "tools/host/midi_file.h"
#include "tools/host/playback.h"

namespace {

std::string SystemMessage(DWORD code) {
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                   nullptr);
    std::string message(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(code) : message;
}

std::string Hresult(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
    return text;
}

// The plug-in's filter class, from the registry or from a named file.
class CPlugin {
public:
    explicit CPlugin(const std::string& dll) {
        if (dll.empty()) {
            const HRESULT result = CoGetClassObject(CLSID_VeltraceFilter, CLSCTX_INPROC_SERVER, nullptr,
                                                    IID_IClassFactory, reinterpret_cast<void**>(&m_factory));
            if (result == REGDB_E_CLASSNOTREG)
                throw HostError("the plug-in is not registered: run 'regsvr32 QvMfxVeltrace.dll', or name the file with --dll");
            if (FAILED(result)) throw HostError("the registered plug-in could not be loaded (" + Hresult(result) + ")");
            return;
        }
        m_module = LoadLibraryA(dll.c_str());
        if (m_module == nullptr) throw HostError(dll + ": cannot be loaded: " + SystemMessage(GetLastError()));
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto getClassObject =
            reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(m_module, "DllGetClassObject")));
        if (getClassObject == nullptr) throw HostError(dll + ": not a COM server (no DllGetClassObject)");
        const HRESULT result = getClassObject(CLSID_VeltraceFilter, IID_IClassFactory, reinterpret_cast<void**>(&m_factory));
        if (FAILED(result)) throw HostError(dll + ": does not serve the Veltrace filter (" + Hresult(result) + ")");
    }
    ~CPlugin() {
        if (m_factory) m_factory->Release();
        if (m_module) FreeLibrary(m_module);
    }
    CPlugin(const CPlugin&) = delete;
    CPlugin& operator=(const CPlugin&) = delete;

    IMfxEventFilter* NewFilter() const {
        IMfxEventFilter* filter = nullptr;
        const HRESULT result = m_factory->CreateInstance(nullptr, IID_IMfxEventFilter, reinterpret_cast<void**>(&filter));
        if (FAILED(result)) throw HostError("the plug-in made no filter (" + Hresult(result) + ")");
        return filter;
    }

private:
    HMODULE m_module = nullptr;
    IClassFactory* m_factory = nullptr;
};

// A filter and its settings stream interface, released together.
class CFilter {
public:
    explicit CFilter(const CPlugin& plugin) : m_filter(plugin.NewFilter()) {
        if (FAILED(m_filter->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&m_persist)))) {
            m_filter->Release();
            throw HostError("the filter keeps no settings stream");
        }
    }
    ~CFilter() {
        m_persist->Release();
        m_filter->Release();
    }
    CFilter(const CFilter&) = delete;
    CFilter& operator=(const CFilter&) = delete;

    IMfxEventFilter& Events() const { return *m_filter; }

    std::vector<std::uint8_t> Save() const {
        IStream* stream = MemoryStream({});
        const HRESULT result = m_persist->Save(stream, TRUE);
        std::vector<std::uint8_t> bytes;
        if (SUCCEEDED(result)) {
            LARGE_INTEGER start = {};
            stream->Seek(start, STREAM_SEEK_SET, nullptr);
            bytes.resize(64);
            ULONG read = 0;
            stream->Read(bytes.data(), 64, &read);
            bytes.resize(read);
        }
        stream->Release();
        if (FAILED(result)) throw HostError("the filter could not save its settings (" + Hresult(result) + ")");
        return bytes;
    }
    // The stream was checked beforehand: a load that fails would show the
    // user a message box.
    void Load(const std::vector<std::uint8_t>& bytes) const {
        IStream* stream = MemoryStream(bytes);
        const HRESULT result = m_persist->Load(stream);
        stream->Release();
        if (FAILED(result)) throw HostError("the filter could not load its settings (" + Hresult(result) + ")");
    }

private:
    static IStream* MemoryStream(const std::vector<std::uint8_t>& bytes) {
        IStream* stream = nullptr;
        if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) throw HostError("out of memory");
        ULONG written = 0;
        if (!bytes.empty()) stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
        LARGE_INTEGER start = {};
        stream->Seek(start, STREAM_SEEK_SET, nullptr);
        return stream;
    }
    IMfxEventFilter* m_filter;
    IPersistStream* m_persist = nullptr;
};

void PrintSummary(const std::vector<TrackSummary>& tracks) {
    std::printf("%-6s %10s %10s %12s %16s %18s\n", "track", "events in", "events out", "master sent", "repeats dropped",
                "modifier consumed");
    TrackSummary total;
    const auto row = [](const char* name, const TrackSummary& s) {
        std::printf("%-6s %10llu %10llu %12llu %16llu %18llu\n", name, static_cast<unsigned long long>(s.eventsIn),
                    static_cast<unsigned long long>(s.eventsOut), static_cast<unsigned long long>(s.masterSent),
                    static_cast<unsigned long long>(s.repeatsDropped), static_cast<unsigned long long>(s.modifierConsumed));
    };
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        row(std::to_string(i + 1).c_str(), tracks[i]);
        total += tracks[i];
    }
    row("total", total);
}

int Run(const HostOptions& options) {
    if (SameFile(options.input, options.output))
        throw HostError(options.output + ": the output would overwrite the input");
    const std::vector<std::uint8_t> bytes = ReadWholeFile(options.input);
    MidiFile input;
    try {
        input = ParseMidiFile(bytes.data(), bytes.size());
    } catch (const MidiFileError& error) {
        throw HostError(options.input + ": " + error.what());
    }
    SettingsCells cells{};
    bool fromFile = false;
    if (!options.settingsFile.empty()) {
        cells = ReadSettingsStream(ReadWholeFile(options.settingsFile), options.settingsFile);
        fromFile = true;
    }

    const CPlugin plugin(options.dll);
    std::vector<std::uint8_t> settings;
    {
        // A first filter tells the defaults that unnamed settings keep, and
        // saves what the filters will hold.
        const CFilter probe(plugin);
        if (!fromFile) cells = ReadSettingsStream(probe.Save(), "the filter's own settings");
        ApplySettingOptions(options, cells);
        settings = WriteSettingsStream(cells);
        if (!options.saveSettingsFile.empty()) {  // the stream as the filter itself writes it
            probe.Load(settings);
            WriteFileReplacing(options.saveSettingsFile, probe.Save());
        }
    }

    MidiFile output = input;
    std::vector<TrackSummary> summaries(input.tracks.size());
    for (std::size_t i = 0; i < input.tracks.size(); ++i) {
        const CFilter filter(plugin);  // a sequencer inserts the effect per track
        filter.Load(settings);
        output.tracks[i] = PlayTrack(filter.Events(), input.tracks[i], options.playback, StreamsOf(cells), summaries[i]);
    }
    WriteFileReplacing(options.output, SerializeMidiFile(output));
    PrintSummary(summaries);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    HostOptions options;
    try {
        options = ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const HostError& error) {
        std::fprintf(stderr, "veltrace-host: %s (veltrace-host --help tells more)\n", error.what());
        return 2;
    }
    try {
        if (options.help) {
            std::fputs(kHostUsage, stdout);
            return 0;
        }
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) throw HostError("COM did not start");
        const int status = Run(options);
        CoUninitialize();
        return status;
    } catch (const HostError& error) {
        std::fprintf(stderr, "veltrace-host: %s\n", error.what());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "veltrace-host: %s\n", error.what());
        return 1;
    }
}
