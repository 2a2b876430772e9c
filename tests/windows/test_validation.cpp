// The built module under load, faults and hostile use, as the most trusted
// plug-in validators check a plug-in: lifecycle churn through COM and the
// registry with unload safety and resources counted, the editor opened and
// closed while both event paths run, and every allocation the module makes
// for a caller failing in turn. VELTRACE_VALIDATE_SCALE (default 1) scales
// the rounds; make validate runs them long. Each test prints one "validate:"
// line with its figures.
#include "win_test_support.h"

#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <thread>

#include <commctrl.h>

#include "engine/class_ids.h"
#include "engine/mfx.h"
#include "fake_site.h"
#include "import_patch.h"
#include "page/resource.h"
#include "tests/engine/fake_queues.h"
#include "tests/engine/golden_settings.h"

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

// One slider step on an active page, as the trackbar sends it.
void EditOnce(HWND frame, int step) {
    const HWND window = FindWindowExA(frame, nullptr, "#32770", nullptr);
    if (window == nullptr) return;
    const int sliders[] = {IDC_MASTER_SLIDER, IDC_MODIFIER_SLIDER, IDC_AMOUNT_SLIDER, IDC_LOW_SLIDER, IDC_HIGH_SLIDER, IDC_MODE_SLIDER};
    const HWND slider = GetDlgItem(window, sliders[step % 6]);
    SendMessageA(window, WM_HSCROLL, MAKEWPARAM(step % 2 ? TB_LINEDOWN : TB_LINEUP, 0), reinterpret_cast<LPARAM>(slider));
}

IStream* SavedSettings(IMfxEventFilter* filter) {
    IPersistStream* persist = nullptr;
    filter->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
    IStream* stream = StreamWith({});
    persist->Save(stream, TRUE);
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    persist->Release();
    return stream;
}

void LoadSettings(IMfxEventFilter* filter, IStream* stream) {
    IPersistStream* persist = nullptr;
    filter->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    persist->Load(stream);
    persist->Release();
}

bool ModuleLoaded() { return GetModuleHandleA("QvMfxVeltrace.dll") != nullptr; }

template <class Interface>
Interface* CreateThroughCom(REFCLSID classId, REFIID iid) {
    Interface* object = nullptr;
    CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object));
    return object;
}

// Registers the module for the length of a test, through its own export.
class CRegistered {
public:
    CRegistered() { CLoadedModule().CallExport("DllRegisterServer"); }
    ~CRegistered() { CLoadedModule().CallExport("DllUnregisterServer"); }
};

}  // namespace

// ---- Lifecycle churn ---------------------------------------------------------------------

TEST(Validation, LifecycleChurnThroughComKeepsNothingAndUnloadsSafely) {
    CComApartment apartment;
    CRegistered registered;
    const HWND frame = NewFrame();
    CFakeSite site;
    int unsafeUnloads = 0, missedUnloads = 0;
    // One round: the host's use of a filter, then a page in one of four
    // orders, a frame's own or a hostile one. Mid-round, with objects alive,
    // COM must not unload the module; at the end, with none, it must.
    const auto round = [&](int number) {
        IMfxEventFilter* filter = CreateThroughCom<IMfxEventFilter>(CLSID_VeltraceFilter, IID_IMfxEventFilter);
        if (filter == nullptr) return;
        for (const IID* iid : {&IID_IUnknown, &IID_IPersistStream, &IID_ISpecifyPropertyPages, &IID_IPersist, &IID_IDispatch}) {
            IUnknown* face = nullptr;
            if (SUCCEEDED(filter->QueryInterface(*iid, reinterpret_cast<void**>(&face)))) face->Release();
        }
        IStream* settings = SavedSettings(filter);
        LoadSettings(filter, settings);
        const int order = number % 4;
        IPropertyPage* page = order == 0 ? nullptr : CreateThroughCom<IPropertyPage>(CLSID_VeltracePropPage, IID_IPropertyPage);
        if (page != nullptr) {
            IUnknown* objects[] = {filter};
            const RECT rect = {0, 0, 300, 380};
            page->SetPageSite(&site);
            page->SetObjects(1, objects);
            PROPPAGEINFO info = {};
            if (SUCCEEDED(page->GetPageInfo(&info))) CoTaskMemFree(info.pszTitle);
            page->Activate(frame, &rect, TRUE);
            EditOnce(frame, number);
        }
        CoFreeUnusedLibrariesEx(0, 0);
        if (!ModuleLoaded()) ++unsafeUnloads;
        if (order == 1) {  // as a frame does it
            page->IsPageDirty();
            page->Apply();
            page->Show(SW_HIDE);
            page->Deactivate();
            page->SetObjects(0, nullptr);
            page->SetPageSite(nullptr);
            page->Release();
            filter->Release();
        } else if (order == 2) {  // the filter goes while its page is open; the site is never cleared
            filter->Release();
            EditOnce(frame, number + 1);
            page->Deactivate();
            page->Release();
        } else if (order == 3) {  // the page goes while active, its filter then loads settings
            page->Release();
            LoadSettings(filter, settings);
            filter->Release();
        } else {
            filter->Release();
        }
        settings->Release();
        PumpMessages(50);
        CoFreeUnusedLibrariesEx(0, 0);
        if (ModuleLoaded()) ++missedUnloads;
    };

    for (int warmUp = 0; warmUp < 8; ++warmUp) round(warmUp);
    const Resources before = Measure();
    const int rounds = 50 * Scale();
    const auto start = std::chrono::steady_clock::now();
    for (int number = 0; number < rounds; ++number) round(number);
    const double seconds = SecondsSince(start);
    const Resources after = Measure();
    DestroyWindow(frame);

    EXPECT_EQ(unsafeUnloads, 0) << "the module was unloaded under a live object";
    EXPECT_EQ(missedUnloads, 0) << "the module stayed loaded with nothing alive";
    EXPECT_EQ(site.m_refCount, 1u) << "every page let go of its site";
    EXPECT_EQ(after.handles, before.handles);
    EXPECT_EQ(after.guiObjects, before.guiObjects);
    EXPECT_EQ(after.windows, before.windows);
    const long long growth = static_cast<long long>(after.privateBytes) - static_cast<long long>(before.privateBytes);
    EXPECT_LT(growth, 256 * 1024) << "private memory grew by " << growth << " bytes";
    const auto count = [](DWORD before, DWORD after) {
        return before == 0 && after == 0 ? std::string("not reported here")
                                         : std::to_string(before) + " -> " + std::to_string(after);
    };
    std::printf("validate: lifecycle churn: %d rounds in %.1f s; private memory %llu -> %llu KB, windows %d -> %d, "
                "handles %s, GUI objects %s; %d unsafe unloads, %d missed unloads\n",
                rounds, seconds, static_cast<unsigned long long>(before.privateBytes / 1024),
                static_cast<unsigned long long>(after.privateBytes / 1024), before.windows, after.windows,
                count(before.handles, after.handles).c_str(), count(before.guiObjects, after.guiObjects).c_str(),
                unsafeUnloads, missedUnloads);
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
