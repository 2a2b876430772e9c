// The filter object in-process: its QueryInterface table and one reference
// count, the host entry points, the settings stream through IPersistStream
// with the real message box, and its link to an open page.
#include "filter/class_ids.h"
#include "server/class_factory.h"
#include "filter/filter.h"
#include "platform/module_counts.h"
#include "tests/core/golden_settings.h"
#include "tests/filter/fake_queues.h"
#include "guarded_heap.h"
#include "import_patch.h"
#include "win_test_support.h"

#include <atomic>
#include <functional>

namespace {

const char kLoadFailed[] = "Load for Quorvane MFX Veltrace settings failed.";

// A page's link to the filter, with a window that counts the refreshes a
// settings load asks it for, as a page's window would.
class CFakePage final {
public:
    CFakePage() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = &CFakePage::WindowProc;
        windowClass.lpszClassName = "VeltraceRefreshCounter";
        RegisterClassA(&windowClass);
        m_window = CreateWindowA("VeltraceRefreshCounter", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, this);
        SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        m_link.SetRefreshWindow(m_window);
    }
    ~CFakePage() { DestroyWindow(m_window); }

    CFilterPageLink m_link;
    int m_refreshes = 0;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == CFilterPageLink::RefreshMessage()) {
            ++reinterpret_cast<CFakePage*>(GetWindowLongPtrA(window, GWLP_USERDATA))->m_refreshes;
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    HWND m_window;
};

// Stops one thread just before it enters the module's link lock, until the
// test lets it go on. The lock is a critical section, and the filter and its
// link are linked into this program, so their EnterCriticalSection goes
// through this program's import table: a stand-in there learns which section
// the link lock is and holds the chosen thread at it.
class CLinkLockHold {
public:
    CLinkLockHold()
        : m_patch(GetModuleHandleA(nullptr), "kernel32.dll", "EnterCriticalSection", reinterpret_cast<void*>(&Enter)) {
        s_linkLock = nullptr;
        s_held = 0;
        s_arrived = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        s_go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    // A thread still held stays so, and keeps what it waits on.
    ~CLinkLockHold() {
        if (m_thread != nullptr) return;
        CloseHandle(s_arrived);
        CloseHandle(s_go);
    }
    CLinkLockHold(const CLinkLockHold&) = delete;
    CLinkLockHold& operator=(const CLinkLockHold&) = delete;
    bool Applied() const { return m_patch.Applied(); }

    // The section that `takesTheLinkLock` enters first on this thread is the link lock.
    void LearnLinkLock(const std::function<void()>& takesTheLinkLock) {
        s_learning = GetCurrentThreadId();
        takesTheLinkLock();
        s_learning = 0;
    }
    // Runs `work` on a thread of its own, which stops when it is about to
    // enter the link lock. Answers whether it got there within ten seconds.
    bool StartHeld(std::function<void()> work) {
        if (s_linkLock == nullptr) return false;
        m_work = std::move(work);
        const auto run = [](void* self) -> DWORD {
            s_held = GetCurrentThreadId();
            static_cast<CLinkLockHold*>(self)->m_work();
            return 0;
        };
        m_thread = CreateThread(nullptr, 0, run, this, 0, nullptr);
        return WaitForSingleObject(s_arrived, 10000) == WAIT_OBJECT_0;
    }
    // Lets the held thread enter the lock and finish its work.
    bool LetGoAndFinish() {
        SetEvent(s_go);
        const bool finished = WaitForSingleObject(m_thread, 10000) == WAIT_OBJECT_0;
        CloseHandle(m_thread);
        m_thread = nullptr;
        return finished;
    }

private:
    static void WINAPI Enter(CRITICAL_SECTION* section) {
        const DWORD thread = GetCurrentThreadId();
        if (thread == s_learning && s_linkLock == nullptr) {
            s_linkLock = section;
        } else if (thread == s_held && section == s_linkLock) {
            SetEvent(s_arrived);
            WaitForSingleObject(s_go, INFINITE);
        }
        s_enter(section);
    }

    // Looked up before the patch is written, so the stand-in always has it.
    static inline const auto s_enter = reinterpret_cast<void(WINAPI*)(CRITICAL_SECTION*)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "EnterCriticalSection")));
    static inline std::atomic<DWORD> s_learning{0}, s_held{0};
    static inline std::atomic<CRITICAL_SECTION*> s_linkLock{nullptr};
    static inline HANDLE s_arrived = nullptr, s_go = nullptr;
    CImportPatch m_patch;
    std::function<void()> m_work;
    HANDLE m_thread = nullptr;
};

class FilterObject : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(m_com.Result());
        m_events = NewFilter();
        ASSERT_NE(m_events, nullptr);
        ASSERT_EQ(m_events->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&m_persist)), S_OK);
        m_filter = static_cast<CQvMfxVeltraceFilter*>(m_events);
    }

    // A filter made the way the host makes one, through its class factory.
    static IMfxEventFilter* NewFilter() {
        IClassFactory* factory = nullptr;
        IMfxEventFilter* filter = nullptr;
        if (GetClassFactory(CLSID_VeltraceFilter, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK)
            return nullptr;
        factory->CreateInstance(nullptr, IID_IMfxEventFilter, reinterpret_cast<void**>(&filter));
        factory->Release();
        return filter;
    }
    void TearDown() override {
        if (m_persist) m_persist->Release();
        if (m_events) {
            EXPECT_EQ(m_events->Release(), 0u) << "outstanding references";
        }
    }

    // Loads these bytes through IPersistStream, answering any message box.
    HRESULT LoadBytes(const std::vector<BYTE>& bytes, CMessageBoxWatcher& watcher) {
        EXPECT_TRUE(watcher.Installed());
        IStream* stream = StreamWith(bytes);
        const HRESULT result = m_persist->Load(stream);
        stream->Release();
        return result;
    }
    std::vector<BYTE> SavedBytes(BOOL clearDirty = TRUE) {
        IStream* stream = StreamWith({});
        EXPECT_EQ(m_persist->Save(stream, clearDirty), S_OK);
        std::vector<BYTE> bytes = StreamBytes(stream);
        stream->Release();
        return bytes;
    }
    size_t Sent(std::vector<MfxEvent> events) {
        CFakeEventQueue input(std::move(events)), output;
        EXPECT_EQ(m_events->OnEvents(0, 100, &input, &output), S_OK);
        return output.m_added.size();
    }
    size_t SentLive(std::vector<MfxData> messages) {
        CFakeDataQueue input(std::move(messages)), output;
        EXPECT_EQ(m_events->OnInput(&input, &output), S_OK);
        return output.m_added.size();
    }

    CComApartment m_com;
    IMfxEventFilter* m_events = nullptr;
    IPersistStream* m_persist = nullptr;
    CQvMfxVeltraceFilter* m_filter = nullptr;
};

MfxEvent Controller(BYTE number, BYTE value) {
    MfxEvent event{};
    event.m_type = MfxControllerEvent;
    event.m_data1 = number;
    event.m_data2 = value;
    return event;
}

}  // namespace

// ---- Identity and references ---------------------------------------------------------

TEST_F(FilterObject, QueryInterfaceTableIsTheSameFromEveryInterface) {
    ISpecifyPropertyPages* pages = nullptr;
    ASSERT_EQ(m_events->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages)), S_OK);
    IUnknown* const faces[] = {m_events, m_persist, pages};
    for (IUnknown* face : faces) {
        struct Expected {
            const IID* iid;
            void* pointer;
        };
        const Expected answered[] = {{&IID_IUnknown, static_cast<IMfxEventFilter*>(m_filter)},
                                     {&IID_IMfxEventFilter, static_cast<IMfxEventFilter*>(m_filter)},
                                     {&IID_IPersistStream, static_cast<IPersistStream*>(m_filter)},
                                     {&IID_ISpecifyPropertyPages, static_cast<ISpecifyPropertyPages*>(m_filter)}};
        for (const Expected& expected : answered) {
            void* object = nullptr;
            EXPECT_EQ(face->QueryInterface(*expected.iid, &object), S_OK);
            EXPECT_EQ(object, expected.pointer);
            if (object) static_cast<IUnknown*>(object)->Release();
        }
        for (const IID* refused : {&IID_IPersist, &IID_IClassFactory, &IID_IPropertyPage, &IID_IStream, &IID_IDispatch}) {
            void* object = reinterpret_cast<void*>(0x1234);
            EXPECT_EQ(face->QueryInterface(*refused, &object), E_NOINTERFACE);
            EXPECT_EQ(object, nullptr);
        }
        EXPECT_EQ(face->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    }
    EXPECT_EQ(static_cast<void*>(m_events), static_cast<void*>(m_filter)) << "the object is its own IUnknown";
    EXPECT_EQ(pages->Release(), 2u);
    EXPECT_EQ(RefCount(m_events), 2u) << "only the test's two references remain";
}

TEST_F(FilterObject, OneCountForAllInterfacesAndReleaseDestroys) {
    const LONG before = g_objectCount.load();
    ISpecifyPropertyPages* pages = nullptr;
    ASSERT_EQ(m_events->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages)), S_OK);
    EXPECT_EQ(m_persist->AddRef(), 4u);
    EXPECT_EQ(pages->Release(), 3u);
    EXPECT_EQ(m_events->Release(), 2u);
    EXPECT_EQ(pages->Release(), 1u);
    m_persist = nullptr;
    EXPECT_EQ(g_objectCount.load(), before);
    EXPECT_EQ(m_events->Release(), 0u);
    m_events = nullptr;
    EXPECT_EQ(g_objectCount.load(), before - 1);
}

TEST_F(FilterObject, GetPagesNamesThePropertyPage) {
    ISpecifyPropertyPages* pages = nullptr;
    ASSERT_EQ(m_events->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages)), S_OK);
    CAUUID list = {};
    EXPECT_EQ(pages->GetPages(&list), S_OK);
    ASSERT_EQ(list.cElems, 1u);
    ASSERT_NE(list.pElems, nullptr);
    EXPECT_TRUE(IsEqualGUID(list.pElems[0], CLSID_VeltracePropPage));
    CoTaskMemFree(list.pElems);
    EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);
    pages->Release();
}

TEST_F(FilterObject, ConnectLeavesTheContextAlone) {
    CCountingUnknown context;
    EXPECT_EQ(m_events->Connect(&context), S_OK);
    EXPECT_EQ(context.m_refCount, 1u);
    EXPECT_EQ(context.m_queries, 0);
    EXPECT_EQ(m_events->Disconnect(), S_OK);
    EXPECT_EQ(m_events->Connect(nullptr), S_OK);
}

// ---- Host entry points ---------------------------------------------------------------------

TEST_F(FilterObject, StartAndLoopResetBothPathsStopAndDisconnectDoNot) {
    const MfxData live = {0, 0xB3, 1, 64, 0};
    EXPECT_EQ(Sent({Controller(1, 64)}), 1u);
    EXPECT_EQ(SentLive({live}), 1u);
    EXPECT_EQ(Sent({Controller(1, 64)}), 0u);
    EXPECT_EQ(SentLive({live}), 0u);
    EXPECT_EQ(m_events->OnStop(5), S_OK);
    EXPECT_EQ(m_events->Disconnect(), S_OK);
    EXPECT_EQ(Sent({Controller(1, 64)}), 0u) << "stop forgets nothing";
    EXPECT_EQ(m_events->OnStart(-7), S_OK);
    EXPECT_EQ(Sent({Controller(1, 64)}), 1u);
    EXPECT_EQ(SentLive({live}), 1u);
    EXPECT_EQ(m_events->OnLoop(0, 960), S_OK);
    EXPECT_EQ(SentLive({live}), 1u);
    EXPECT_EQ(Sent({Controller(1, 64)}), 1u);
}

TEST_F(FilterObject, EventPathsThroughTheInterface) {
    MfxEvent pressure{};
    pressure.m_type = MfxChannelPressureEvent;
    pressure.m_data2 = 48;
    CFakeEventQueue input({Controller(1, 64), pressure}), output;
    EXPECT_EQ(m_events->OnEvents(0, 0, &input, &output), S_OK);
    ASSERT_EQ(output.m_added.size(), 2u);
    EXPECT_EQ(output.m_added[1].m_data2, 91);

    CFakeDataQueue liveInput({{0, 0xD0, 96, 0, 0}}), liveOutput;
    EXPECT_EQ(m_events->OnInput(&liveInput, &liveOutput), S_OK);
    ASSERT_EQ(liveOutput.m_added.size(), 1u);
    EXPECT_EQ(liveOutput.m_added[0].m_status, 0xB0);
    EXPECT_EQ(liveOutput.m_added[0].m_data2, 118) << "the live path uses the sequenced master value";

    CFakeEventQueue failing({Controller(1, 1)}), untouched;
    failing.m_failGetCount = true;
    EXPECT_EQ(m_events->OnEvents(0, 0, &failing, &untouched), S_OK) << "queue failures are absorbed";
    EXPECT_EQ(untouched.m_addCalls, 0);
}

// ---- Settings stream ---------------------------------------------------------------------------

TEST_F(FilterObject, NewFilterSavesTheGoldenBytes) {
    CLSID classId = {};
    EXPECT_EQ(m_persist->GetClassID(&classId), S_OK);
    EXPECT_TRUE(IsEqualCLSID(classId, CLSID_VeltraceFilter));
    ULARGE_INTEGER size = {};
    EXPECT_EQ(m_persist->GetSizeMax(&size), S_OK);
    EXPECT_EQ(size.QuadPart, 64u);
    EXPECT_EQ(m_persist->IsDirty(), S_FALSE);
    EXPECT_EQ(SavedBytes(), kDefaultSettingsStream);
}

TEST_F(FilterObject, SaveThenLoadIntoAnotherFilter) {
    const std::int32_t values[kParamCells] = {7, 11, 250, -3, 100, 2, 0, 5, 128, 64, 1, 127};
    IMfxEventFilter* const sourceEvents = NewFilter();
    ASSERT_NE(sourceEvents, nullptr);
    CQvMfxVeltraceFilter* const source = static_cast<CQvMfxVeltraceFilter*>(sourceEvents);
    for (std::uint32_t cell = 0; cell < kParamCells; ++cell) source->Core().SetParam(cell / 6, cell % 6, values[cell]);
    IStream* stream = StreamWith({});
    EXPECT_EQ(static_cast<IPersistStream*>(source)->Save(stream, TRUE), S_OK);
    const std::vector<BYTE> saved = StreamBytes(stream);
    stream->Release();
    EXPECT_EQ(sourceEvents->Release(), 0u);

    CFakePage page;
    ASSERT_EQ(page.m_link.Attach(m_events), S_OK);
    m_filter->SetDirty();
    CMessageBoxWatcher watcher;
    EXPECT_EQ(LoadBytes(saved, watcher), S_OK);
    EXPECT_TRUE(watcher.Texts().empty());
    for (std::uint32_t cell = 0; cell < kParamCells; ++cell)
        EXPECT_EQ(m_filter->Core().GetParam(cell / 6, cell % 6), values[cell]);
    EXPECT_EQ(page.m_refreshes, 1) << "an open page shows what was loaded, before Load returns";
    EXPECT_EQ(m_persist->IsDirty(), S_FALSE);
}

TEST_F(FilterObject, StreamsThatStillLoad) {
    std::vector<BYTE> bytes = kDefaultSettingsStream;
    std::fill(bytes.begin() + 8, bytes.begin() + 16, BYTE{0});  // both length fields 0
    SetStreamCell(bytes, EffectAmount, 250);
    bytes.insert(bytes.end(), {1, 2, 3, 4});  // a longer stream
    IStream* stream = StreamWith(bytes);
    CMessageBoxWatcher watcher;
    EXPECT_EQ(m_persist->Load(stream), S_OK);
    EXPECT_EQ(StreamPosition(stream), 64u) << "exactly 64 bytes read";
    stream->Release();
    EXPECT_TRUE(watcher.Texts().empty());
    EXPECT_EQ(m_filter->Core().GetParam(SettingRow, EffectAmount), 250);
}

TEST_F(FilterObject, FailedLoadsShowTheMessageAndChangeOnlyWhatWasRead) {
    CFakePage page;
    ASSERT_EQ(page.m_link.Attach(m_events), S_OK);
    m_filter->SetDirty();
    struct Case {
        const char* what;
        std::vector<BYTE> bytes;
        bool rowReplaced;
    };
    std::vector<BYTE> wrongMagic = kDefaultSettingsStream, wrongVersion = kDefaultSettingsStream, cut = kDefaultSettingsStream;
    wrongMagic[0] = 0x9B;
    wrongVersion[4] = 2;
    for (size_t cell = 0; cell < kParamCells; ++cell) {
        SetStreamCell(wrongMagic, cell, 9);
        SetStreamCell(wrongVersion, cell, 9);
        SetStreamCell(cut, cell, 9);
    }
    cut.resize(40);
    const Case cases[] = {{"wrong magic", wrongMagic, false},
                          {"wrong version", wrongVersion, false},
                          {"cut after 40 bytes", cut, true},
                          {"empty", {}, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (std::uint32_t cell = 0; cell < kParamCells; ++cell)
            m_filter->Core().SetParam(cell / 6, cell % 6, kDefaultParams[cell / 6][cell % 6]);
        CMessageBoxWatcher watcher;
        EXPECT_EQ(LoadBytes(c.bytes, watcher), S_OK);
        ASSERT_EQ(watcher.Texts().size(), 1u) << "one box, shown for real";
        EXPECT_EQ(watcher.Texts()[0], kLoadFailed);
        for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
            EXPECT_EQ(m_filter->Core().GetParam(SettingRow, index), c.rowReplaced ? 9 : kDefaultParams[0][index]);
            EXPECT_EQ(m_filter->Core().GetParam(CcAssignRow, index), 128);
        }
        EXPECT_EQ(m_persist->IsDirty(), S_OK) << "a failed load keeps the dirty flag";
        EXPECT_EQ(page.m_refreshes, 0);
    }
}

TEST_F(FilterObject, FailedSavesKeepTheDirtyFlag) {
    struct Case {
        int failingWrite;
        HRESULT status;
        HRESULT expected;
    };
    const Case cases[] = {{1, STG_E_MEDIUMFULL, STG_E_MEDIUMFULL},
                          {6, STG_E_MEDIUMFULL, STG_E_MEDIUMFULL},
                          {1, E_ACCESSDENIED, STG_E_CANTSAVE},
                          {13, STG_E_WRITEFAULT, STG_E_CANTSAVE}};
    for (const Case& c : cases) {
        m_filter->SetDirty();
        CFailingStream stream(StreamWith({}));
        stream.m_failWrite = c.failingWrite;
        stream.m_failStatus = c.status;
        EXPECT_EQ(m_persist->Save(&stream, TRUE), c.expected) << "write " << c.failingWrite;
        EXPECT_EQ(stream.m_writes, c.failingWrite);
        EXPECT_EQ(stream.m_otherCalls, 0) << "only Write is used";
        EXPECT_EQ(m_persist->IsDirty(), S_OK);
    }
    m_filter->SetDirty();
    SavedBytes(FALSE);
    EXPECT_EQ(m_persist->IsDirty(), S_OK) << "saving without the clear flag keeps it";
    SavedBytes(TRUE);
    EXPECT_EQ(m_persist->IsDirty(), S_FALSE);
    EXPECT_EQ(m_persist->Save(nullptr, TRUE), E_POINTER);
    EXPECT_EQ(m_persist->Load(nullptr), E_POINTER);
}

TEST_F(FilterObject, FailingReadInTheMiddleKeepsEarlierCells) {
    std::vector<BYTE> bytes = kDefaultSettingsStream;
    SetStreamCell(bytes, MasterCc, 3);
    SetStreamCell(bytes, ModifierCc, 4);
    CFailingStream stream(StreamWith(bytes));
    stream.m_failRead = 4;  // header, two cells, then the third cell fails
    stream.m_failStatus = STG_E_READFAULT;
    CMessageBoxWatcher watcher;
    EXPECT_EQ(m_persist->Load(&stream), S_OK);
    EXPECT_EQ(watcher.Texts().size(), 1u);
    EXPECT_EQ(m_filter->Core().GetParam(SettingRow, MasterCc), 3);
    EXPECT_EQ(m_filter->Core().GetParam(SettingRow, ModifierCc), 4);
    EXPECT_EQ(stream.m_otherCalls, 0) << "only Read is used";
}

// ---- The page link ----------------------------------------------------------------------------------

TEST_F(FilterObject, LinkRefusesWhatIsNotALiveFilter) {
    CFakePage page;
    CCountingUnknown foreign;
    EXPECT_EQ(page.m_link.Attach(&foreign), E_NOINTERFACE);
    EXPECT_EQ(page.m_link.Attach(m_persist), E_NOINTERFACE) << "the filter's IUnknown, not another face";
    EXPECT_FALSE(page.m_link.Lock());
    EXPECT_EQ(foreign.m_refCount, 1u);
}

TEST_F(FilterObject, PagesThatLetGoAreNotRefreshed) {
    const std::vector<BYTE> saved = SavedBytes();
    CFakePage first, second;
    ASSERT_EQ(first.m_link.Attach(m_events), S_OK);
    ASSERT_EQ(second.m_link.Attach(m_events), S_OK);
    CMessageBoxWatcher watcher;
    LoadBytes(saved, watcher);
    EXPECT_EQ(first.m_refreshes, 0) << "the later page took the filter's link";
    EXPECT_EQ(second.m_refreshes, 1);
    EXPECT_TRUE(first.m_link.Lock()) << "the earlier page still edits the filter";
    {
        CGuardedHeap guard;
        CFakePage* const gone = new CFakePage;
        ASSERT_EQ(gone->m_link.Attach(m_events), S_OK);
        delete gone;  // its memory now faults if anything reaches for it
        LoadBytes(saved, watcher);
    }
    EXPECT_EQ(second.m_refreshes, 1) << "the filter let go of the page that is gone";
    IMfxEventFilter* const other = NewFilter();
    ASSERT_EQ(first.m_link.Attach(other), S_OK);
    ASSERT_EQ(first.m_link.Attach(m_events), S_OK);
    IStream* stream = StreamWith(saved);
    static_cast<CQvMfxVeltraceFilter*>(other)->Load(stream);
    stream->Release();
    EXPECT_EQ(first.m_refreshes, 0) << "the other filter let go of the page it lost";
    EXPECT_EQ(other->Release(), 0u);
}

TEST_F(FilterObject, DestroyedFilterIsForgottenByEveryPage) {
    CGuardedHeap guard;  // the filter's memory faults once it is freed
    IMfxEventFilter* const filter = NewFilter();
    CFakePage first, second;
    ASSERT_EQ(first.m_link.Attach(filter), S_OK);
    ASSERT_EQ(second.m_link.Attach(filter), S_OK);
    {
        const CFilterPageLink::CLockedFilter edit = first.m_link.Lock();
        ASSERT_TRUE(edit);
        EXPECT_EQ(filter->Release(), 1u) << "an edit in progress keeps the filter";
        EXPECT_TRUE(second.m_link.Lock());
    }
    EXPECT_FALSE(first.m_link.Lock());
    EXPECT_FALSE(second.m_link.Lock());
}

TEST_F(FilterObject, FilterBeingDestroyedGivesThePageNoReference) {
    CGuardedHeap guard;  // the filter's memory faults once it is freed
    IMfxEventFilter* const filter = NewFilter();
    CFakePage page;
    ASSERT_EQ(page.m_link.Attach(filter), S_OK);
    CLinkLockHold hold;
    ASSERT_TRUE(hold.Applied());
    hold.LearnLinkLock([&] { page.m_link.RefreshTaken(); });
    const LONG objects = g_objectCount.load();
    // The host's last release on a thread of its own, held in the filter's
    // destructor before it unlinks the page: the count is already zero.
    ASSERT_TRUE(hold.StartHeld([filter] { filter->Release(); }));
    EXPECT_FALSE(page.m_link.Lock()) << "a filter being destroyed gives no reference";
    if (g_objectCount.load() != objects) {
        // Releasing the reference it gave destroyed the filter a second time;
        // the held destruction would now touch freed memory, so it stays held.
        ADD_FAILURE() << "the filter was destroyed by the page while its destruction was held";
        return;
    }
    ASSERT_TRUE(hold.LetGoAndFinish());
    EXPECT_EQ(g_objectCount.load(), objects - 1) << "freed once";
    EXPECT_FALSE(page.m_link.Lock()) << "the page forgot the filter";
}

// ---- The tables a host compiled elsewhere calls by slot number -------------------------------------

TEST_F(FilterObject, HostSeesEverySlotInItsPlace) {
    using Slot = void*;
    const auto table = [](void* face) { return *static_cast<Slot**>(face); };
    ISpecifyPropertyPages* pages = nullptr;
    ASSERT_EQ(m_events->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages)), S_OK);

    // Slots 0..2 of every table: QueryInterface, AddRef, Release on the one object.
    using QuerySlot = HRESULT(STDMETHODCALLTYPE*)(void*, REFIID, void**);
    using CountSlot = ULONG(STDMETHODCALLTYPE*)(void*);
    for (void* face : {static_cast<void*>(m_events), static_cast<void*>(m_persist), static_cast<void*>(pages)}) {
        void* object = nullptr;
        EXPECT_EQ(reinterpret_cast<QuerySlot>(table(face)[0])(face, IID_IUnknown, &object), S_OK);
        EXPECT_EQ(object, static_cast<void*>(m_events)) << "slot 0 is QueryInterface";
        EXPECT_EQ(reinterpret_cast<CountSlot>(table(face)[1])(face), 5u) << "slot 1 is AddRef";
        EXPECT_EQ(reinterpret_cast<CountSlot>(table(face)[2])(face), 4u) << "slot 2 is Release";
        m_events->Release();
    }

    // IMfxEventFilter, slots 3..9.
    using ConnectSlot = HRESULT(STDMETHODCALLTYPE*)(IMfxEventFilter*, IUnknown*);
    using PlainSlot = HRESULT(STDMETHODCALLTYPE*)(IMfxEventFilter*);
    using TimeSlot = HRESULT(STDMETHODCALLTYPE*)(IMfxEventFilter*, LONG);
    using LoopSlot = HRESULT(STDMETHODCALLTYPE*)(IMfxEventFilter*, LONG, LONG);
    using OnEventsSlot = HRESULT(STDMETHODCALLTYPE*)(IMfxEventFilter*, LONG, LONG, IMfxEventQueue*, IMfxEventQueue*);
    using OnInputSlot = HRESULT(STDMETHODCALLTYPE*)(IMfxEventFilter*, IMfxDataQueue*, IMfxDataQueue*);
    Slot* const events = table(m_events);
    CCountingUnknown context;
    EXPECT_EQ(reinterpret_cast<ConnectSlot>(events[3])(m_events, &context), S_OK) << "slot 3 is Connect";
    EXPECT_EQ(reinterpret_cast<PlainSlot>(events[4])(m_events), S_OK) << "slot 4 is Disconnect";
    CFakeEventQueue input({Controller(1, 64)}), output;
    const auto play = [&] { return reinterpret_cast<OnEventsSlot>(events[8])(m_events, 0, 0, &input, &output); };
    EXPECT_EQ(play(), S_OK);
    EXPECT_EQ(play(), S_OK);
    EXPECT_EQ(output.m_added.size(), 1u) << "slot 8 is OnEvents: the repeat is dropped";
    EXPECT_EQ(reinterpret_cast<TimeSlot>(events[7])(m_events, 0), S_OK);
    play();
    EXPECT_EQ(output.m_added.size(), 1u) << "slot 7 is OnStop: it forgets nothing";
    EXPECT_EQ(reinterpret_cast<LoopSlot>(events[6])(m_events, 0, 960), S_OK);
    play();
    EXPECT_EQ(output.m_added.size(), 2u) << "slot 6 is OnLoop";
    EXPECT_EQ(reinterpret_cast<TimeSlot>(events[5])(m_events, 0), S_OK);
    play();
    EXPECT_EQ(output.m_added.size(), 3u) << "slot 5 is OnStart";
    CFakeDataQueue liveInput({{0, 0xB0, 1, 64, 0}}), liveOutput;
    EXPECT_EQ(reinterpret_cast<OnInputSlot>(events[9])(m_events, &liveInput, &liveOutput), S_OK);
    EXPECT_EQ(liveOutput.m_added.size(), 1u) << "slot 9 is OnInput";
    EXPECT_EQ(context.m_refCount, 1u);

    // IPersistStream, slots 3..7.
    using ClassIdSlot = HRESULT(STDMETHODCALLTYPE*)(IPersistStream*, CLSID*);
    using IsDirtySlot = HRESULT(STDMETHODCALLTYPE*)(IPersistStream*);
    using LoadSlot = HRESULT(STDMETHODCALLTYPE*)(IPersistStream*, IStream*);
    using SaveSlot = HRESULT(STDMETHODCALLTYPE*)(IPersistStream*, IStream*, BOOL);
    using SizeSlot = HRESULT(STDMETHODCALLTYPE*)(IPersistStream*, ULARGE_INTEGER*);
    Slot* const persist = table(m_persist);
    CLSID classId = {};
    EXPECT_EQ(reinterpret_cast<ClassIdSlot>(persist[3])(m_persist, &classId), S_OK);
    EXPECT_TRUE(IsEqualCLSID(classId, CLSID_VeltraceFilter)) << "slot 3 is GetClassID";
    m_filter->SetDirty();
    EXPECT_EQ(reinterpret_cast<IsDirtySlot>(persist[4])(m_persist), S_OK) << "slot 4 is IsDirty";
    std::vector<BYTE> settings = kDefaultSettingsStream;
    SetStreamCell(settings, EffectAmount, 33);
    IStream* in = StreamWith(settings);
    EXPECT_EQ(reinterpret_cast<LoadSlot>(persist[5])(m_persist, in), S_OK);
    in->Release();
    EXPECT_EQ(m_filter->Core().GetParam(SettingRow, EffectAmount), 33) << "slot 5 is Load";
    IStream* out = StreamWith({});
    EXPECT_EQ(reinterpret_cast<SaveSlot>(persist[6])(m_persist, out, TRUE), S_OK);
    EXPECT_EQ(StreamBytes(out), settings) << "slot 6 is Save";
    out->Release();
    ULARGE_INTEGER size = {};
    EXPECT_EQ(reinterpret_cast<SizeSlot>(persist[7])(m_persist, &size), S_OK);
    EXPECT_EQ(size.QuadPart, 64u) << "slot 7 is GetSizeMax";

    // ISpecifyPropertyPages, slot 3.
    using PagesSlot = HRESULT(STDMETHODCALLTYPE*)(ISpecifyPropertyPages*, CAUUID*);
    CAUUID list = {};
    EXPECT_EQ(reinterpret_cast<PagesSlot>(table(pages)[3])(pages, &list), S_OK);
    ASSERT_EQ(list.cElems, 1u);
    EXPECT_TRUE(IsEqualGUID(list.pElems[0], CLSID_VeltracePropPage)) << "slot 3 is GetPages";
    CoTaskMemFree(list.pElems);
    pages->Release();
}
