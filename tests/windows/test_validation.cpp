// The built module under load, faults and hostile use, as the most trusted
// plug-in validators check a plug-in: lifecycle churn through COM and the
// registry with unload safety and resources counted, the editor opened and
// closed while both event paths run, and every allocation the module makes
// for a caller failing in turn. VELTRACE_VALIDATE_SCALE (default 1) scales
// the rounds; make validate runs them long. Each test prints one "validate:"
// line with its figures.
#include "win_test_support.h"

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <thread>

#include <commctrl.h>

#include "filter/class_ids.h"
#include "filter/mfx.h"
#include "fake_site.h"
#include "import_patch.h"
#include "tests/core/golden_settings.h"
#include "tests/filter/fake_queues.h"

namespace {

int Scale() {
    const char* text = std::getenv("VELTRACE_VALIDATE_SCALE");
    const int scale = text != nullptr ? std::atoi(text) : 1;
    return scale > 0 ? scale : 1;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Windows of this thread, their children included.
int CountWindows() {
    int count = 0;
    const WNDENUMPROC countWithChildren = [](HWND window, LPARAM total) -> BOOL {
        ++*reinterpret_cast<int*>(total);
        EnumChildWindows(window, [](HWND, LPARAM inner) -> BOOL {
            ++*reinterpret_cast<int*>(inner);
            return TRUE;
        }, total);
        return TRUE;
    };
    EnumThreadWindows(GetCurrentThreadId(), countWithChildren, reinterpret_cast<LPARAM>(&count));
    return count;
}

struct Resources {
    SIZE_T privateBytes;
    DWORD handles;
    DWORD guiObjects;
    int windows;
};

// Private memory as the system reports it; where it reports none (Wine
// does), the committed private pages, walked one region at a time.
SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    if (memory.PrivateUsage != 0) return memory.PrivateUsage;
    SIZE_T committed = 0;
    MEMORY_BASIC_INFORMATION region = {};
    for (const BYTE* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) committed += region.RegionSize;
        if (region.RegionSize == 0) break;
    }
    return committed;
}

// Handle and GUI-object counts read 0 where the system does not answer (Wine).
Resources Measure() {
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    const DWORD gui = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS) + GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    return {PrivateBytes(), handles, gui, CountWindows()};
}

HWND NewFrame() {
    return CreateWindowExA(0, "STATIC", "frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 420, nullptr, nullptr,
                           nullptr, nullptr);
}

// One step of the (step % 6)-th trackbar on the frame's active page, as the
// trackbar sends it.
void EditOnce(HWND frame, int step) {
    const HWND window = FindWindowExA(frame, nullptr, "#32770", nullptr);
    if (window == nullptr) return;
    HWND slider = nullptr;
    for (int i = 0; i <= step % 6; ++i) slider = FindWindowExA(window, slider, TRACKBAR_CLASSA, nullptr);
    if (slider == nullptr) return;
    SendMessageA(window, WM_HSCROLL, MAKEWPARAM(step % 2 ? TB_LINEDOWN : TB_LINEUP, 0), reinterpret_cast<LPARAM>(slider));
}

IStream* SavedSettings(IUnknown* filter) {
    IPersistStream* persist = nullptr;
    filter->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
    IStream* stream = StreamWith({});
    persist->Save(stream, TRUE);
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    persist->Release();
    return stream;
}

void LoadSettings(IUnknown* filter, IStream* stream) {
    IPersistStream* persist = nullptr;
    filter->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    persist->Load(stream);
    persist->Release();
}

template <class Interface>
Interface* CreateThroughCom(REFCLSID classId, REFIID iid) {
    Interface* object = nullptr;
    CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object));
    return object;
}

// Registers a module for the length of a test, through its own export.
class CRegistered {
public:
    explicit CRegistered(std::string path) : m_path(std::move(path)) { CLoadedModule(m_path).CallExport("DllRegisterServer"); }
    ~CRegistered() { CLoadedModule(m_path).CallExport("DllUnregisterServer"); }

private:
    std::string m_path;
};

}  // namespace

// ---- Lifecycle churn ---------------------------------------------------------------------

namespace {

// An in-process server for the churn: its file and its two classes, an
// object with settings and the page that edits it.
struct CChurnSubject {
    std::string path;
    CLSID objectClass;
    CLSID pageClass;
    bool Loaded() const { return GetModuleHandleA(path.substr(path.find_last_of('\\') + 1).c_str()) != nullptr; }
};

// lifecycle_baseline.dll, beside the test programs, and its classes: the
// least a server with a page does, none of it the plug-in's.
std::string BaselinePath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path);
    folder.resize(folder.find_last_of('\\'));
    return folder + "\\lifecycle_baseline.dll";
}
constexpr CLSID kBaselineObject = {0x6B0D6F4E, 0x3C1A, 0x4F5B, {0x9E, 0x27, 0x1D, 0x4C, 0x8A, 0x90, 0xB3, 0x11}};
constexpr CLSID kBaselinePage = {0x6B0D6F4E, 0x3C1A, 0x4F5B, {0x9E, 0x27, 0x1D, 0x4C, 0x8A, 0x90, 0xB3, 0x12}};

// Bytes handed out and not freed, summed over every heap of the process
// block by block: exact to the byte, where committed memory moves in whole
// heap steps.
SIZE_T HeapBytesInUse() {
    HANDLE heaps[256];
    const DWORD count = std::min<DWORD>(GetProcessHeaps(256, heaps), 256);
    SIZE_T inUse = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) inUse += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return inUse;
}

// The least-squares slope of samples taken once a round: bytes a round.
double SlopePerRound(const std::vector<double>& samples) {
    const double n = static_cast<double>(samples.size()), middle = (n - 1) / 2;
    double mean = 0;
    for (const double sample : samples) mean += sample / n;
    double covariance = 0, variance = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        covariance += (static_cast<double>(i) - middle) * (samples[i] - mean);
        variance += (static_cast<double>(i) - middle) * (static_cast<double>(i) - middle);
    }
    return variance > 0 ? covariance / variance : 0;
}

struct CChurnFigures {
    double heapPerRound = 0;     // heap bytes in use
    double privatePerRound = 0;  // committed private memory
    Resources before = {}, after = {};
    int unsafeUnloads = 0, missedUnloads = 0, failedCreations = 0;
};

// A warm-up, then `rounds` rounds against one server with its memory
// sampled after each. One round: the host's use of an object, then a page in
// one of four orders, a frame's own or a hostile one. Mid-round, with objects
// alive, COM must not unload the module; at the end, with none, it must.
CChurnFigures Churn(const CChurnSubject& subject, int rounds, HWND frame, CFakeSite& site) {
    constexpr int kWarmUpRounds = 16;
    CChurnFigures figures;
    const auto round = [&](int number) {
        IUnknown* object = CreateThroughCom<IUnknown>(subject.objectClass, IID_IUnknown);
        if (object == nullptr) {
            ++figures.failedCreations;
            return;
        }
        for (const IID* iid : {&IID_IMfxEventFilter, &IID_IPersistStream, &IID_ISpecifyPropertyPages, &IID_IPersist, &IID_IDispatch}) {
            IUnknown* face = nullptr;
            if (SUCCEEDED(object->QueryInterface(*iid, reinterpret_cast<void**>(&face)))) face->Release();
        }
        IStream* settings = SavedSettings(object);
        LoadSettings(object, settings);
        const int order = number % 4;
        IPropertyPage* page = order == 0 ? nullptr : CreateThroughCom<IPropertyPage>(subject.pageClass, IID_IPropertyPage);
        if (order != 0 && page == nullptr) {
            ++figures.failedCreations;
            object->Release();
            settings->Release();
            return;
        }
        if (page != nullptr) {
            IUnknown* objects[] = {object};
            const RECT rect = {0, 0, 300, 380};
            page->SetPageSite(&site);
            page->SetObjects(1, objects);
            PROPPAGEINFO info = {};
            if (SUCCEEDED(page->GetPageInfo(&info))) CoTaskMemFree(info.pszTitle);
            page->Activate(frame, &rect, TRUE);
            EditOnce(frame, number);
        }
        CoFreeUnusedLibrariesEx(0, 0);
        if (!subject.Loaded()) ++figures.unsafeUnloads;
        if (order == 1) {  // as a frame does it
            page->IsPageDirty();
            page->Apply();
            page->Show(SW_HIDE);
            page->Deactivate();
            page->SetObjects(0, nullptr);
            page->SetPageSite(nullptr);
            page->Release();
            object->Release();
        } else if (order == 2) {  // the object goes while its page is open; the site is never cleared
            object->Release();
            EditOnce(frame, number + 1);
            page->Deactivate();
            page->Release();
        } else if (order == 3) {  // the page goes while active, its object then loads settings
            page->Release();
            LoadSettings(object, settings);
            object->Release();
        } else {
            object->Release();
        }
        settings->Release();
        site.m_statusChanges.clear();  // the test's own record stays its size
        PumpMessages(50);
        CoFreeUnusedLibrariesEx(0, 0);
        if (subject.Loaded()) ++figures.missedUnloads;
    };

    for (int warmUp = 0; warmUp < kWarmUpRounds; ++warmUp) round(warmUp);
    std::vector<double> heap, committed;
    heap.reserve(rounds);
    committed.reserve(rounds);
    figures.before = Measure();
    for (int number = 0; number < rounds; ++number) {
        round(number);
        heap.push_back(static_cast<double>(HeapBytesInUse()));
        committed.push_back(static_cast<double>(PrivateBytes()));
    }
    figures.after = Measure();
    figures.heapPerRound = SlopePerRound(heap);
    figures.privatePerRound = SlopePerRound(committed);
    return figures;
}

}  // namespace

// The same churn against the plug-in and against lifecycle_baseline.dll in one
// process: what Wine, COM, the common controls and the C++ runtime cost a
// round shows in both, and only what the plug-in costs beyond that is its own.
// Each is judged by the slope of its memory over the rounds after a warm-up,
// not by one difference, which a single heap step can move.
TEST(Validation, LifecycleChurnThroughComKeepsNothingAndUnloadsSafely) {
    // Heap bytes in use are exact; committed memory moves in whole heap steps
    // (64 KB), and one step anywhere in the run moves its slope by at most 1.5
    // steps / rounds. The plug-in may exceed the baseline by two such steps.
    constexpr double kHeapTolerance = 4;      // bytes a round
    constexpr double kCommittedStep = 65536;  // bytes
    CComApartment apartment;
    const CChurnSubject plugin{ModulePath(), CLSID_VeltraceFilter, CLSID_VeltracePropPage};
    const CChurnSubject baseline{BaselinePath(), kBaselineObject, kBaselinePage};
    CRegistered registered(plugin.path), registeredBaseline(baseline.path);
    const HWND frame = NewFrame();
    CFakeSite site;
    const int rounds = 50 * Scale();
    const auto start = std::chrono::steady_clock::now();
    const CChurnFigures base = Churn(baseline, rounds, frame, site);
    const CChurnFigures ours = Churn(plugin, rounds, frame, site);
    const double seconds = SecondsSince(start);
    DestroyWindow(frame);

    EXPECT_EQ(base.failedCreations + ours.failedCreations, 0) << "every round made its objects";
    EXPECT_EQ(base.unsafeUnloads + base.missedUnloads, 0) << "the baseline module was not loaded and unloaded as the plug-in is";
    EXPECT_EQ(ours.unsafeUnloads, 0) << "the module was unloaded under a live object";
    EXPECT_EQ(ours.missedUnloads, 0) << "the module stayed loaded with nothing alive";
    EXPECT_EQ(site.m_refCount, 1u) << "every page let go of its site";
    EXPECT_EQ(ours.after.handles, ours.before.handles);
    EXPECT_EQ(ours.after.guiObjects, ours.before.guiObjects);
    EXPECT_EQ(ours.after.windows, ours.before.windows);
    EXPECT_LE(ours.heapPerRound, base.heapPerRound + kHeapTolerance)
        << "heap in use grew by " << ours.heapPerRound << " bytes a round, the baseline's by " << base.heapPerRound;
    const double committedTolerance = kHeapTolerance + 3 * kCommittedStep / rounds;
    EXPECT_LE(ours.privatePerRound, base.privatePerRound + committedTolerance)
        << "private memory grew by " << ours.privatePerRound << " bytes a round, the baseline's by " << base.privatePerRound;
    const auto count = [](DWORD before, DWORD after) {
        return before == 0 && after == 0 ? std::string("not reported here")
                                         : std::to_string(before) + " -> " + std::to_string(after);
    };
    std::printf("validate: lifecycle churn: %d rounds each for the module and a minimal module in %.1f s; bytes a round "
                "(module, minimal): heap in use %+.1f, %+.1f, private memory %+.1f, %+.1f (module %llu -> %llu KB); "
                "windows %d -> %d, handles %s, GUI objects %s; %d unsafe unloads, %d missed unloads\n",
                rounds, seconds, ours.heapPerRound, base.heapPerRound, ours.privatePerRound, base.privatePerRound,
                static_cast<unsigned long long>(ours.before.privateBytes / 1024),
                static_cast<unsigned long long>(ours.after.privateBytes / 1024), ours.before.windows, ours.after.windows,
                count(ours.before.handles, ours.after.handles).c_str(),
                count(ours.before.guiObjects, ours.after.guiObjects).c_str(), ours.unsafeUnloads, ours.missedUnloads);
}

// ---- The editor while the event paths run -------------------------------------------------

TEST(Validation, EditorOpenedAndClosedWhileBothPathsRun) {
    CComApartment apartment;
    CLoadedModule module;
    ASSERT_TRUE(module.Loaded());
    IMfxEventFilter* const filter = module.Create<IMfxEventFilter>(CLSID_VeltraceFilter, IID_IMfxEventFilter);
    ASSERT_NE(filter, nullptr);
    const HWND frame = NewFrame();
    const int windowsBefore = CountWindows();
    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0}, calls{0}, badValues{0};
    std::vector<MfxEvent> events;
    std::vector<MfxData> messages;
    for (int i = 0; i < 256; ++i) {
        MfxEvent event{};
        event.m_type = i % 3 ? MfxControllerEvent : MfxChannelPressureEvent;
        event.m_data1 = static_cast<BYTE>(i % 3 ? 1 + i % 2 : 0);
        event.m_data2 = static_cast<BYTE>(i % 128);
        events.push_back(event);
        messages.push_back({i, static_cast<BYTE>(i % 2 ? 0xB0 : 0xD0), static_cast<BYTE>(i % 2 ? 1 : i % 128),
                            static_cast<BYTE>(i % 128), 0});
    }
    std::thread sequenced([&] {
        CFakeEventQueue input(events), output;
        output.m_added.reserve(events.size());
        while (!stop) {
            output.m_added.clear();
            filter->OnEvents(0, 0, &input, &output);
            for (const MfxEvent& event : output.m_added)
                if (event.m_data1 > 127 || event.m_data2 > 127) ++badValues;
            ++blocks;
        }
    });
    std::thread live([&] {
        CFakeDataQueue input(messages), output;
        output.m_added.reserve(messages.size());
        while (!stop) {
            output.m_added.clear();
            filter->OnInput(&input, &output);
            for (const MfxData& data : output.m_added)
                if (data.m_data1 > 127 || data.m_data2 > 127) ++badValues;
            ++calls;
        }
    });

    const int openings = 20 * Scale();
    const auto start = std::chrono::steady_clock::now();
    CFakeSite site;
    for (int opening = 0; opening < openings; ++opening) {
        IPropertyPage* page = module.Create<IPropertyPage>(CLSID_VeltracePropPage, IID_IPropertyPage);
        ASSERT_NE(page, nullptr);
        IUnknown* objects[] = {filter};
        const RECT rect = {0, 0, 300, 380};
        page->SetPageSite(&site);
        page->SetObjects(1, objects);
        page->Activate(frame, &rect, TRUE);
        for (int step = 0; step < 6; ++step) {
            EditOnce(frame, opening + step);
            PumpMessages(50);
        }
        if (opening % 2) page->Deactivate();  // or released while active
        EXPECT_EQ(page->Release(), 0u);
    }
    stop = true;
    sequenced.join();
    live.join();
    const double seconds = SecondsSince(start);
    PumpMessages(50);
    EXPECT_EQ(badValues.load(), 0);
    EXPECT_EQ(CountWindows(), windowsBefore) << "every page's window went";
    EXPECT_EQ(site.m_refCount, 1u);
    EXPECT_EQ(filter->Release(), 0u);
    EXPECT_EQ(module.CanUnloadNow(), S_OK) << "nothing left alive";
    DestroyWindow(frame);
    std::printf("validate: editor under processing: %d openings with %d edits in %.1f s, while %ld blocks and %ld live "
                "calls ran; %ld values out of range\n",
                openings, openings * 6, seconds, blocks.load(), calls.load(), badValues.load());
}

// ---- Every allocation failing in turn ---------------------------------------------------------

namespace {

// Counts every allocation the module asks for, its own heap and COM's task
// allocator alike, and fails the n-th once armed.
class CAllocationFailer {
public:
    // Whether the next allocation proceeds; false for the one that is to fail.
    bool Next() {
        if (!m_armed) return true;
        ++m_count;
        if (m_count != m_failing) return true;
        m_failed = true;
        return false;
    }
    void Arm(int failing) {
        m_failing = failing;
        m_count = 0;
        m_failed = false;
        m_armed = true;
    }
    void Disarm() { m_armed = false; }
    bool Failed() const { return m_failed; }
    int Count() const { return m_count; }

    std::set<void*> m_live;  // the module's own heap blocks, to see that it frees what it takes

private:
    bool m_armed = false;
    int m_failing = 0;
    int m_count = 0;
    bool m_failed = false;
};

CAllocationFailer g_failer;
void* (*g_malloc)(size_t) = nullptr;
void* (*g_calloc)(size_t, size_t) = nullptr;
void* (*g_realloc)(void*, size_t) = nullptr;
void (*g_free)(void*) = nullptr;

void* FailingMalloc(size_t size) {
    if (!g_failer.Next()) return nullptr;
    void* block = g_malloc(size);
    g_failer.m_live.insert(block);
    return block;
}
void* FailingCalloc(size_t count, size_t size) {
    if (!g_failer.Next()) return nullptr;
    void* block = g_calloc(count, size);
    g_failer.m_live.insert(block);
    return block;
}
void* FailingRealloc(void* old, size_t size) {
    if (!g_failer.Next()) return nullptr;
    void* block = g_realloc(old, size);
    g_failer.m_live.erase(old);
    g_failer.m_live.insert(block);
    return block;
}
void CountedFree(void* block) {
    g_failer.m_live.erase(block);
    g_free(block);
}

// COM's task allocator, failed through a malloc spy.
class CFailingSpy final : public IMallocSpy {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IMallocSpy) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size != 0 && !g_failer.Next() ? 0 : size; }
    void* STDMETHODCALLTYPE PostAlloc(void* block) override { return block; }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL) override { return block; }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** newBlock, BOOL) override {
        *newBlock = block;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override { return block; }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}
};

bool OneOf(HRESULT result, std::initializer_list<HRESULT> documented) {
    for (const HRESULT code : documented)
        if (result == code) return true;
    return false;
}

}  // namespace

TEST(Validation, EveryAllocationFailsInTurnWithTheDocumentedCode) {
    CComApartment apartment;
    CLoadedModule module;
    ASSERT_TRUE(module.Loaded());
    CImportPatch mallocPatch(module.Handle(), "msvcrt.dll", "malloc", reinterpret_cast<void*>(&FailingMalloc));
    CImportPatch callocPatch(module.Handle(), "msvcrt.dll", "calloc", reinterpret_cast<void*>(&FailingCalloc));
    CImportPatch reallocPatch(module.Handle(), "msvcrt.dll", "realloc", reinterpret_cast<void*>(&FailingRealloc));
    CImportPatch freePatch(module.Handle(), "msvcrt.dll", "free", reinterpret_cast<void*>(&CountedFree));
    ASSERT_TRUE(mallocPatch.Applied() && callocPatch.Applied() && reallocPatch.Applied() && freePatch.Applied());
    g_malloc = reinterpret_cast<void* (*)(size_t)>(mallocPatch.Original());
    g_calloc = reinterpret_cast<void* (*)(size_t, size_t)>(callocPatch.Original());
    g_realloc = reinterpret_cast<void* (*)(void*, size_t)>(reallocPatch.Original());
    g_free = reinterpret_cast<void (*)(void*)>(freePatch.Original());
    CFailingSpy spy;
    ASSERT_EQ(CoRegisterMallocSpy(&spy), S_OK);

    // Everything a caller can ask of the module that allocates, with the codes
    // each step may answer; a step that cannot go on ends the run.
    int undocumented = 0;
    const auto expect = [&](HRESULT result, std::initializer_list<HRESULT> documented, const char* what) {
        if (!OneOf(result, documented)) {
            ++undocumented;
            ADD_FAILURE() << what << " answered 0x" << std::hex << result << " at allocation " << std::dec << g_failer.Count();
        }
        return SUCCEEDED(result);
    };
    const auto scenario = [&] {
        IClassFactory* factory = nullptr;
        if (expect(module.GetClassObject(CLSID_VeltraceFilter, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
                   {S_OK, E_OUTOFMEMORY}, "DllGetClassObject (filter)")) {
            IMfxEventFilter* filter = nullptr;
            if (expect(factory->CreateInstance(nullptr, IID_IMfxEventFilter, reinterpret_cast<void**>(&filter)),
                       {S_OK, E_OUTOFMEMORY}, "CreateInstance (filter)")) {
                ISpecifyPropertyPages* pages = nullptr;
                filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages));
                CAUUID list = {};
                if (expect(pages->GetPages(&list), {S_OK, E_OUTOFMEMORY}, "GetPages")) CoTaskMemFree(list.pElems);
                pages->Release();
                IClassFactory* pageFactory = nullptr;
                if (expect(module.GetClassObject(CLSID_VeltracePropPage, IID_IClassFactory, reinterpret_cast<void**>(&pageFactory)),
                           {S_OK, E_OUTOFMEMORY}, "DllGetClassObject (page)")) {
                    IPropertyPage* page = nullptr;
                    if (expect(pageFactory->CreateInstance(nullptr, IID_IPropertyPage, reinterpret_cast<void**>(&page)),
                               {S_OK, E_OUTOFMEMORY}, "CreateInstance (page)")) {
                        IUnknown* objects[] = {filter};
                        page->SetObjects(1, objects);
                        PROPPAGEINFO info = {};
                        if (expect(page->GetPageInfo(&info), {S_OK, E_OUTOFMEMORY, E_FAIL}, "GetPageInfo")) CoTaskMemFree(info.pszTitle);
                        expect(page->Help(nullptr), {S_FALSE, E_NOTIMPL, E_OUTOFMEMORY, E_FAIL}, "Help");
                        page->Release();
                    }
                    pageFactory->Release();
                }
                filter->Release();
            }
            factory->Release();
        }
        expect(module.CallExport("DllRegisterServer"), {S_OK}, "DllRegisterServer");
        expect(module.CallExport("DllUnregisterServer"), {S_OK}, "DllUnregisterServer");
    };

    // Once unarmed and once with the first allocation failing: what the
    // runtime sets up on first use (its exception handling among it) and
    // keeps is not a leak.
    scenario();
    g_failer.Arm(1);
    scenario();
    g_failer.Disarm();
    const auto start = std::chrono::steady_clock::now();
    int failing = 1, leaks = 0, liveObjects = 0;
    for (;; ++failing) {
        g_failer.m_live.clear();
        g_failer.Arm(failing);
        scenario();
        g_failer.Disarm();
        if (!g_failer.m_live.empty()) {
            ++leaks;
            ADD_FAILURE() << g_failer.m_live.size() << " blocks left after allocation " << failing << " failed";
        }
        if (module.CanUnloadNow() != S_OK) {
            ++liveObjects;
            ADD_FAILURE() << "objects left alive after allocation " << failing << " failed";
        }
        if (!g_failer.Failed()) break;  // the run got through without reaching the n-th allocation
        ASSERT_LT(failing, 10000) << "the sweep does not end";
    }
    module.CallExport("DllUnregisterServer");
    CoRevokeMallocSpy();
    std::printf("validate: allocation failures: %d allocations failed in turn (one run each) in %.1f s; "
                "%d undocumented results, %d runs leaking blocks, %d leaving objects alive\n",
                failing - 1, SecondsSince(start), undocumented, leaks, liveObjects);
}
