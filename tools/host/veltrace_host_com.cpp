// veltrace-host on Windows: plays a Standard MIDI File through the Veltrace
// COM module as a sequencer does. The module is loaded as a host loads it
// (through the registry, or from a named file), each track gets a filter of
// its own, and the settings reach every filter through its settings stream,
// exactly as a host restores a project.
#include <cstdio>
#include <string>
#include <vector>

#include <objbase.h>
#include <ocidl.h>

#include "filter/class_ids.h"
#include "filter/mfx.h"
#include "tools/host/clap_track_filter.h"
#include "tools/host/host_options.h"
#include "tools/host/host_run.h"
#include "tools/host/mfx_track_filter.h"
#include "tools/host/vst3_track_filter.h"

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
                throw InputError("the plug-in is not registered: run 'regsvr32 QvMfxVeltrace.dll', or name the file with --dll");
            if (FAILED(result)) throw InputError("the registered plug-in could not be loaded (" + Hresult(result) + ")");
            return;
        }
        m_module = LoadLibraryA(dll.c_str());
        if (m_module == nullptr) throw InputError(dll + ": cannot be loaded: " + SystemMessage(GetLastError()));
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto getClassObject =
            reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(m_module, "DllGetClassObject")));
        const HRESULT result = getClassObject == nullptr
                                   ? E_NOINTERFACE
                                   : getClassObject(CLSID_VeltraceFilter, IID_IClassFactory, reinterpret_cast<void**>(&m_factory));
        if (FAILED(result)) {
            FreeLibrary(m_module);  // no destructor runs for a constructor that throws
            if (getClassObject == nullptr) throw InputError(dll + ": not a COM server (no DllGetClassObject)");
            throw InputError(dll + ": does not serve the Veltrace filter (" + Hresult(result) + ")");
        }
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
        if (FAILED(result)) throw InputError("the plug-in made no filter (" + Hresult(result) + ")");
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
            throw InputError("the filter keeps no settings stream");
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
        if (FAILED(result)) throw InputError("the filter could not save its settings (" + Hresult(result) + ")");
        return bytes;
    }
    // The stream was checked beforehand: a load that fails would show the
    // user a message box.
    void Load(const std::vector<std::uint8_t>& bytes) const {
        IStream* stream = MemoryStream(bytes);
        const HRESULT result = m_persist->Load(stream);
        stream->Release();
        if (FAILED(result)) throw InputError("the filter could not load its settings (" + Hresult(result) + ")");
    }

private:
    static IStream* MemoryStream(const std::vector<std::uint8_t>& bytes) {
        IStream* stream = nullptr;
        if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) throw InputError("out of memory");
        ULONG written = 0;
        if (!bytes.empty()) stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
        LARGE_INTEGER start = {};
        stream->Seek(start, STREAM_SEEK_SET, nullptr);
        return stream;
    }
    IMfxEventFilter* m_filter;
    IPersistStream* m_persist = nullptr;
};

// A filter and the playback that drives it, released together.
class CComTrackFilter final : public CTrackFilter {
public:
    CComTrackFilter(const CPlugin& plugin, const std::vector<std::uint8_t>& settings)
        : m_filter(plugin), m_playback(m_filter.Events()) {
        m_filter.Load(settings);
    }
    void Start() override { m_playback.Start(); }
    void PlayBlock(std::uint32_t fromTick, std::uint32_t thruTick, const std::vector<MidiEvent>& block,
                   std::vector<Output>& outputs) override {
        m_playback.PlayBlock(fromTick, thruTick, block, outputs);
    }
    void PlayLive(const MidiEvent& message, std::vector<MidiEvent>& outputs) override {
        m_playback.PlayLive(message, outputs);
    }

private:
    CFilter m_filter;
    CMfxTrackFilter m_playback;
};

class CComPluginHost final : public CPluginHost {
public:
    explicit CComPluginHost(const std::string& dll) : m_com(), m_plugin(dll) {}

    SettingsCells DefaultSettings() override {
        const CFilter probe(m_plugin);
        return ReadSettingsStream(probe.Save(), "the filter's own settings");
    }
    std::vector<std::uint8_t> SavedSettings(const SettingsCells& cells) override {
        const CFilter probe(m_plugin);
        probe.Load(WriteSettingsStream(cells));
        return probe.Save();
    }
    std::unique_ptr<CTrackFilter> NewTrackFilter(const SettingsCells& cells) override {
        return std::make_unique<CComTrackFilter>(m_plugin, WriteSettingsStream(cells));
    }

private:
    // COM for as long as the plug-in is loaded.
    struct CComApartment {
        CComApartment() {
            if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) throw InputError("COM did not start");
        }
        ~CComApartment() { CoUninitialize(); }
    } m_com;
    CPlugin m_plugin;
};

}  // namespace

int main(int argc, char** argv) {
    return HostMain(argc, argv, [](const HostOptions& options) -> std::unique_ptr<CPluginHost> {
        switch (options.format) {
        case PluginFormat::Clap: return LoadClapPlugin(options.plugin);
        case PluginFormat::Vst3: return LoadVst3Plugin(options.plugin);
        default: return std::make_unique<CComPluginHost>(options.plugin);
        }
    });
}
