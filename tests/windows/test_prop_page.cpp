// The property page of the built module, driven through IPropertyPage as a
// host's frame drives it: a test frame (parent window and a site that
// records what it is told), the filter made by the same module, and its
// settings read and written through the filter's settings stream.
#include "win_test_support.h"

#include "fake_site.h"

#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <commctrl.h>
#include <olectl.h>

#include "filter/class_ids.h"
#include "filter/mfx.h"
#include "core/parameters.h"
#include "page/resource.h"
#include "tests/core/golden_settings.h"

namespace {

using Cells = std::array<std::int32_t, kParamCells>;

constexpr Cells kDefaultCells = {1, 0, 85, 0, 96, 0, 128, 128, 128, 128, 128, 128};
constexpr RECT kPageRect = {10, 20, 400, 420};

// The controls and labels of each setting, in setting order.
constexpr int kSliders[] = {IDC_MASTER_SLIDER, IDC_MODIFIER_SLIDER, IDC_AMOUNT_SLIDER,
                            IDC_LOW_SLIDER,    IDC_HIGH_SLIDER,     IDC_MODE_SLIDER};
constexpr int kSpins[] = {IDC_MASTER_SPIN, IDC_MODIFIER_SPIN, IDC_AMOUNT_SPIN,
                          IDC_LOW_SPIN,    IDC_HIGH_SPIN,     IDC_MODE_SPIN};
constexpr int kValueLabels[] = {IDC_MASTER_VALUE, IDC_MODIFIER_VALUE, IDC_AMOUNT_VALUE,
                                IDC_LOW_VALUE,    IDC_HIGH_VALUE,     IDC_MODE_VALUE};
constexpr int kAssignLabels[] = {IDC_MASTER_ASSIGN, IDC_MODIFIER_ASSIGN, IDC_AMOUNT_ASSIGN,
                                 IDC_LOW_ASSIGN,    IDC_HIGH_ASSIGN,     IDC_MODE_ASSIGN};

class PropPage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(m_com.Result());
        ASSERT_TRUE(m_module.Loaded()) << ModulePath();
        ASSERT_EQ(m_module.CanUnloadNow(), S_OK) << "a previous test left something alive";
        m_filter = m_module.Create<IMfxEventFilter>(CLSID_VeltraceFilter, IID_IMfxEventFilter);
        m_page = m_module.Create<IPropertyPage>(CLSID_VeltracePropPage, IID_IPropertyPage);
        ASSERT_NE(m_filter, nullptr);
        ASSERT_NE(m_page, nullptr);
        m_parent = CreateWindowExA(0, "STATIC", "frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 500, nullptr,
                                   nullptr, nullptr, nullptr);
        ASSERT_NE(m_parent, nullptr);
    }
    void TearDown() override {
        if (m_page) {
            EXPECT_EQ(m_page->Release(), 0u) << "outstanding page references";
        }
        if (m_filter) {
            EXPECT_EQ(m_filter->Release(), 0u) << "outstanding filter references";
        }
        DestroyWindow(m_parent);
        EXPECT_EQ(m_site.m_refCount, 1u) << "the page kept or over-released its site";
        if (m_module.Loaded()) {
            EXPECT_EQ(m_module.CanUnloadNow(), S_OK) << "the test left something alive";
        }
    }

    // Site, filter and window, in the order a frame gives them.
    void Open() {
        ASSERT_EQ(m_page->SetPageSite(&m_site), S_OK);
        IUnknown* objects[] = {m_filter};
        ASSERT_EQ(m_page->SetObjects(1, objects), S_OK);
        ASSERT_EQ(m_page->Activate(m_parent, &kPageRect, TRUE), S_OK);
        ASSERT_NE(Window(), nullptr);
    }
    HWND Window() const { return FindWindowExA(m_parent, nullptr, "#32770", nullptr); }
    HWND Item(int id) const { return GetDlgItem(Window(), id); }
    std::string Text(int id) const {
        char text[64] = {};
        GetDlgItemTextA(Window(), id, text, sizeof text);
        return text;
    }
    LRESULT Send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageA(Item(id), message, wParam, lParam);
    }
    // A scroll notification as the control with this id sends it.
    void Scroll(UINT message, int id, int code, int position = 0) const {
        SendMessageA(Window(), message, MAKEWPARAM(code, position), reinterpret_cast<LPARAM>(Item(id)));
    }

    // The filter's twelve cells, through its own settings stream.
    Cells SavedCells() const {
        IPersistStream* persist = Persist();
        IStream* stream = StreamWith({});
        EXPECT_EQ(persist->Save(stream, FALSE), S_OK);
        const std::vector<BYTE> bytes = StreamBytes(stream);
        stream->Release();
        persist->Release();
        Cells cells = {};
        for (size_t cell = 0; cell < kParamCells && bytes.size() == 64; ++cell)
            std::memcpy(&cells[cell], &bytes[16 + 4 * cell], 4);
        return cells;
    }
    void LoadCells(const Cells& cells, IMfxEventFilter* filter = nullptr) const {
        std::vector<BYTE> bytes = kDefaultSettingsStream;
        for (size_t cell = 0; cell < kParamCells; ++cell) SetStreamCell(bytes, cell, static_cast<std::uint32_t>(cells[cell]));
        IPersistStream* persist = Persist(filter);
        IStream* stream = StreamWith(bytes);
        EXPECT_EQ(persist->Load(stream), S_OK);
        stream->Release();
        persist->Release();
    }
    HRESULT FilterIsDirty() const {
        IPersistStream* persist = Persist();
        const HRESULT result = persist->IsDirty();
        persist->Release();
        return result;
    }
    IPersistStream* Persist(IMfxEventFilter* filter = nullptr) const {
        IPersistStream* persist = nullptr;
        (filter ? filter : m_filter)->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
        return persist;
    }

    // Runs `work` on a thread of its own with COM, as a host thread, and
    // waits for it while this thread takes no messages. Work that waited for
    // this thread would never end: say so and stop here.
    static void OnHostThread(std::function<void()> work) {
        const auto run = [](void* work) -> DWORD {
            CComApartment apartment;
            (*static_cast<std::function<void()>*>(work))();
            return 0;
        };
        const HANDLE host = CreateThread(nullptr, 0, run, &work, 0, nullptr);
        if (WaitForSingleObject(host, 10000) != WAIT_OBJECT_0) {
            std::fprintf(stderr, "FAILED: a load on another thread waits for the page's thread\n");
            TerminateProcess(GetCurrentProcess(), 1);
        }
        CloseHandle(host);
    }

    // What the page shows: slider and spin positions, then the twelve labels.
    struct Shown {
        std::array<int, kParamsPerRow> sliders, spins;
        std::array<std::string, kParamsPerRow> values, assignments;
    };
    Shown WhatIsShown() const {
        Shown shown;
        for (size_t index = 0; index < kParamsPerRow; ++index) {
            shown.sliders[index] = static_cast<int>(Send(kSliders[index], TBM_GETPOS));
            shown.spins[index] = static_cast<short>(LOWORD(Send(kSpins[index], UDM_GETPOS)));
            shown.values[index] = Text(kValueLabels[index]);
            shown.assignments[index] = Text(kAssignLabels[index]);
        }
        return shown;
    }

    CComApartment m_com;
    CLoadedModule m_module;
    CFakeSite m_site;
    IMfxEventFilter* m_filter = nullptr;
    IPropertyPage* m_page = nullptr;
    HWND m_parent = nullptr;
};

}  // namespace

TEST_F(PropPage, IdentityIsItsPropertyPage) {
    void* object = nullptr;
    EXPECT_EQ(m_page->QueryInterface(IID_IUnknown, &object), S_OK);
    EXPECT_EQ(object, static_cast<void*>(m_page));
    EXPECT_EQ(m_page->QueryInterface(IID_IPropertyPage, &object), S_OK);
    EXPECT_EQ(object, static_cast<void*>(m_page));
    EXPECT_EQ(RefCount(m_page), 3u);
    for (const IID* refused : {&IID_IPersistStream, &IID_IPropertyPage2, &IID_IMfxEventFilter}) {
        object = reinterpret_cast<void*>(0x1234);
        EXPECT_EQ(m_page->QueryInterface(*refused, &object), E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(m_page->Release(), 2u);
    EXPECT_EQ(m_page->Release(), 1u);
}

TEST_F(PropPage, EveryOperationKeepsItsStateRules) {
    CFakeSite other;
    CCountingUnknown foreign;
    IUnknown* none[] = {nullptr};
    IUnknown* two[] = {m_filter, m_filter};
    IUnknown* alien[] = {&foreign};
    MSG message = {};
    EXPECT_EQ(m_page->SetPageSite(nullptr), E_UNEXPECTED) << "no site to clear";
    EXPECT_EQ(m_page->Deactivate(), E_UNEXPECTED);
    EXPECT_EQ(m_page->Show(SW_SHOW), E_UNEXPECTED);
    EXPECT_EQ(m_page->Move(nullptr), E_POINTER);
    EXPECT_EQ(m_page->Move(&kPageRect), S_OK) << "no window: no effect";
    EXPECT_EQ(m_page->Activate(m_parent, nullptr, TRUE), E_POINTER);
    EXPECT_EQ(m_page->TranslateAccelerator(&message), E_NOTIMPL);
    EXPECT_EQ(m_page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(m_page->SetObjects(0, nullptr), E_FAIL);
    EXPECT_EQ(m_page->SetObjects(2, two), E_UNEXPECTED);
    EXPECT_EQ(m_page->SetObjects(1, nullptr), E_POINTER);
    EXPECT_EQ(m_page->SetObjects(1, none), E_POINTER);
    EXPECT_EQ(m_page->SetObjects(1, alien), E_NOINTERFACE) << "only a filter of this module";
    EXPECT_EQ(foreign.m_refCount, 1u);

    EXPECT_EQ(m_page->SetPageSite(&m_site), S_OK);
    EXPECT_EQ(m_site.m_refCount, 2u);
    EXPECT_EQ(m_page->SetPageSite(&other), E_UNEXPECTED) << "a second site";
    EXPECT_EQ(other.m_refCount, 1u);
    const ULONG filterReferences = RefCount(m_filter);
    IUnknown* objects[] = {m_filter};
    EXPECT_EQ(m_page->SetObjects(1, objects), S_OK);
    EXPECT_EQ(RefCount(m_filter), filterReferences) << "the page holds no reference on its filter";

    SetFocus(m_parent);
    EXPECT_EQ(m_page->Activate(m_parent, &kPageRect, TRUE), S_OK);
    const HWND window = Window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetFocus(), Item(IDC_MASTER_SLIDER));
    EXPECT_NE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_CONTROLPARENT, 0);
    RECT placed = {};
    GetWindowRect(window, &placed);
    MapWindowPoints(nullptr, m_parent, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, kPageRect.left);
    EXPECT_EQ(placed.bottom, kPageRect.bottom);
    EXPECT_EQ(m_page->Activate(m_parent, &kPageRect, TRUE), E_UNEXPECTED) << "a window exists";

    EXPECT_EQ(m_page->Show(SW_SHOWNOACTIVATE), E_INVALIDARG);
    SetFocus(m_parent);
    EXPECT_EQ(m_page->Show(SW_HIDE), S_OK);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetFocus(), m_parent) << "hiding does not move the focus";
    EXPECT_EQ(m_page->Show(SW_SHOW), S_OK);
    EXPECT_TRUE(IsWindowVisible(window));
    const RECT moved = {5, 6, 105, 206};
    EXPECT_EQ(m_page->Move(&moved), S_OK);
    GetClientRect(window, &placed);
    EXPECT_EQ(placed.right, 100);
    EXPECT_EQ(placed.bottom, 200);

    EXPECT_EQ(m_page->Deactivate(), S_OK);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(m_page->Deactivate(), E_UNEXPECTED);
    EXPECT_EQ(m_page->SetObjects(0, nullptr), E_FAIL);
    EXPECT_EQ(m_page->Activate(m_parent, &kPageRect, TRUE), S_OK) << "the window may come again";
    EXPECT_EQ(Text(IDC_AMOUNT_VALUE), "85%") << "and the page kept its filter";
    EXPECT_EQ(m_page->SetPageSite(nullptr), S_OK);
    EXPECT_EQ(m_site.m_refCount, 1u);
}

TEST_F(PropPage, PageInfoCarriesTitleAndTheTemplatesPixelSize) {
    PROPPAGEINFO info;
    std::memset(&info, 0xCC, sizeof info);
    ASSERT_EQ(m_page->GetPageInfo(&info), S_OK);
    EXPECT_EQ(info.cb, sizeof(PROPPAGEINFO));
    ASSERT_NE(info.pszTitle, nullptr);
    EXPECT_STREQ(info.pszTitle, L"Quorvane MFX Veltrace Title");
    EXPECT_EQ(info.pszDocString, nullptr);
    EXPECT_EQ(info.pszHelpFile, nullptr);
    EXPECT_EQ(info.dwHelpContext, 0u);
    CoTaskMemFree(info.pszTitle);

    // The template's 173 x 230 dialog units under its own font, measured here
    // from the font the way the system derives dialog units.
    const HDC screen = GetDC(nullptr);
    const HFONT font = CreateFontA(-MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                   FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
    const HGDIOBJ previous = SelectObject(screen, font);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(screen, &metrics);
    SIZE alphabet = {};
    GetTextExtentPoint32A(screen, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &alphabet);
    SelectObject(screen, previous);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
    const int baseX = (alphabet.cx / 26 + 1) / 2;
    EXPECT_EQ(info.size.cx, MulDiv(173, baseX, 4));
    EXPECT_EQ(info.size.cy, MulDiv(230, metrics.tmHeight, 8));
    EXPECT_EQ(Window(), nullptr) << "measuring leaves no window of the page";
}

TEST_F(PropPage, OpensShowingTheFiltersSettings) {
    struct Case {
        const char* what;
        Cells cells;
        Shown shown;
    };
    const Case cases[] = {
        {"a new filter",
         kDefaultCells,
         {{1, 0, 85, 0, 96, 0}, {128, 128, 128, 128, 128, 128}, {"1", "Pressure", "85%", "0", "96", "Add"},
          {"Off", "Off", "Off", "Off", "Off", "Off"}}},
        {"Rel64 and assignments",
         {0, 7, 85, 5, 127, 2, 0, 1, 127, 128, 64, 3},
         {{0, 7, 85, 5, 127, 2}, {0, 1, 127, 128, 64, 3}, {"Pressure", "7", "+/- 54", "5", "127", "Rel64"},
          {"Off", "1", "127", "Off", "64", "3"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoadCells(c.cells);
        Open();
        const Shown shown = WhatIsShown();
        EXPECT_EQ(shown.sliders, c.shown.sliders);
        EXPECT_EQ(shown.spins, c.shown.spins);
        EXPECT_EQ(shown.values, c.shown.values);
        EXPECT_EQ(shown.assignments, c.shown.assignments);
        for (size_t index = 0; index < kParamsPerRow; ++index) {
            EXPECT_EQ(Send(kSliders[index], TBM_GETRANGEMAX), GetParamMax(SettingRow, index));
            EXPECT_FALSE(IsWindowEnabled(Item(kSpins[index]))) << "assignments are shown, not edited";
            EXPECT_FALSE(IsWindowEnabled(Item(kAssignLabels[index])));
        }
        EXPECT_EQ(m_page->Deactivate(), S_OK);
        EXPECT_EQ(m_page->SetPageSite(nullptr), S_OK);
    }
}

TEST_F(PropPage, WithoutAFilterTheTemplateShows) {
    ASSERT_EQ(m_page->Activate(m_parent, &kPageRect, TRUE), S_OK);
    EXPECT_EQ(Text(IDC_AMOUNT_VALUE), "Static");
    EXPECT_EQ(Text(IDC_MODE_ASSIGN), "Off");
    Scroll(WM_HSCROLL, IDC_AMOUNT_SLIDER, TB_LINEDOWN);
    EXPECT_EQ(m_page->IsPageDirty(), S_FALSE) << "an edit with no filter changes nothing";
    EXPECT_EQ(SavedCells(), kDefaultCells);
}

// An accepted edit is stored and flagged before the site is told of it, and
// labelled afterwards: the site sees the new cell and both dirty flags, and
// the label as it was.
TEST_F(PropPage, ScrollNotificationsEditTheFilterLive) {
    struct Case {
        UINT message;
        int control;
        int code;
        int position;
        size_t cell;         // the cell that changes, or kParamCells for none
        std::int32_t value;
        int label;           // a label, what it shows while the site is told, and then
        const char* before;  // (none: the site is not told)
        const char* text;
    };
    const size_t none = kParamCells;
    const Case cases[] = {
        {WM_HSCROLL, IDC_AMOUNT_SLIDER, TB_PAGEDOWN, 0, EffectAmount, 86, IDC_AMOUNT_VALUE, "85%", "86%"},
        {WM_HSCROLL, IDC_MODE_SLIDER, TB_THUMBTRACK, 2, Mode, 2, IDC_AMOUNT_VALUE, "85%", "+/- 54"},
        {WM_HSCROLL, IDC_MODE_SLIDER, TB_LINEDOWN, 0, Mode, 1, IDC_MODE_VALUE, "Add", "Sub"},
        {WM_HSCROLL, IDC_MASTER_SLIDER, TB_LINEUP, 0, MasterCc, 0, IDC_MASTER_VALUE, "1", "Pressure"},
        {WM_HSCROLL, IDC_HIGH_SLIDER, TB_THUMBTRACK, 127, HighIn, 127, IDC_HIGH_VALUE, "96", "127"},
        {WM_VSCROLL, IDC_LOW_SPIN, SB_LINEDOWN, 0, kParamsPerRow + LowIn, 127, IDC_LOW_ASSIGN, "Off", "127"},
        {WM_VSCROLL, IDC_MODE_SPIN, SB_THUMBPOSITION, 0, kParamsPerRow + Mode, 0, IDC_MODE_ASSIGN, "Off", "Off"},
        {WM_HSCROLL, IDC_MODIFIER_SLIDER, TB_LINEUP, 0, none, 0, IDC_MODIFIER_VALUE, nullptr, "Pressure"},
        {WM_HSCROLL, IDC_MODE_SLIDER, TB_THUMBTRACK, 60, none, 0, IDC_MODE_VALUE, nullptr, "Add"},
        {WM_HSCROLL, IDC_AMOUNT_SLIDER, TB_ENDTRACK, 0, none, 0, IDC_AMOUNT_VALUE, nullptr, "85%"},
        {WM_HSCROLL, IDC_AMOUNT_SPIN, TB_LINEDOWN, 0, none, 0, IDC_AMOUNT_ASSIGN, nullptr, "Off"},
        {WM_HSCROLL, IDC_AMOUNT_VALUE, TB_LINEDOWN, 0, none, 0, IDC_AMOUNT_VALUE, nullptr, "85%"},
        {WM_VSCROLL, IDC_AMOUNT_SLIDER, SB_LINEDOWN, 0, none, 0, IDC_AMOUNT_VALUE, nullptr, "85%"},
        {WM_VSCROLL, IDC_MASTER_SPIN, SB_THUMBPOSITION, 129, none, 0, IDC_MASTER_ASSIGN, nullptr, "Off"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "control " << c.control << " code " << c.code);
        LoadCells(kDefaultCells);
        m_site.m_statusChanges.clear();
        Open();
        struct Seen {
            Cells cells = {};
            HRESULT filterDirty = E_FAIL, pageDirty = E_FAIL;
            std::string label;
        } seen;
        m_site.m_onStatusChange = [&](DWORD) {
            seen = {SavedCells(), FilterIsDirty(), m_page->IsPageDirty(), Text(c.label)};
        };
        const int sliderBefore = static_cast<int>(Send(IDC_AMOUNT_SLIDER, TBM_GETPOS));
        Scroll(c.message, c.control, c.code, c.position);
        m_site.m_onStatusChange = nullptr;
        Cells expected = kDefaultCells;
        const bool changes = c.cell != none;
        if (changes) expected[c.cell] = c.value;
        EXPECT_EQ(SavedCells(), expected);
        EXPECT_EQ(Text(c.label), c.text);
        EXPECT_EQ(m_site.m_statusChanges, changes ? std::vector<DWORD>{PROPPAGESTATUS_DIRTY} : std::vector<DWORD>{});
        EXPECT_EQ(m_page->IsPageDirty(), changes ? S_OK : S_FALSE);
        EXPECT_EQ(FilterIsDirty(), changes ? S_OK : S_FALSE);
        if (changes) {
            EXPECT_EQ(seen.cells, expected) << "the cell is stored first";
            EXPECT_EQ(seen.filterDirty, S_OK) << "then the filter is dirty";
            EXPECT_EQ(seen.pageDirty, S_OK) << "then the page";
            EXPECT_EQ(seen.label, c.before) << "the label changes only after the site is told";
        }
        EXPECT_EQ(Send(IDC_AMOUNT_SLIDER, TBM_GETPOS), sliderBefore) << "an edit never moves a control";
        // A new page for the next case, as a frame opens one.
        m_page->Release();
        m_page = m_module.Create<IPropertyPage>(CLSID_VeltracePropPage, IID_IPropertyPage);
        ASSERT_NE(m_page, nullptr);
    }
}

TEST_F(PropPage, ApplyCleansThePageOnlyAndSavingTheFilter) {
    Open();
    Scroll(WM_HSCROLL, IDC_LOW_SLIDER, TB_LINEDOWN);
    EXPECT_EQ(m_page->Apply(), S_OK);
    EXPECT_EQ(m_page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(FilterIsDirty(), S_OK) << "the host has not saved yet";
    EXPECT_EQ(m_site.m_statusChanges.size(), 1u) << "Apply tells no one";
    EXPECT_EQ(SavedCells()[LowIn], 1) << "nothing to write: the edit is in the filter";
}

TEST_F(PropPage, LoadingSettingsRefreshesTheOpenPage) {
    Open();
    const Cells loaded = {7, 11, 50, 3, 100, 2, 0, 5, 128, 64, 1, 127};
    LoadCells(loaded);
    const Shown shown = WhatIsShown();
    EXPECT_EQ(shown.sliders, (std::array<int, kParamsPerRow>{7, 11, 50, 3, 100, 2}));
    EXPECT_EQ(shown.spins, (std::array<int, kParamsPerRow>{0, 5, 128, 64, 1, 127}));
    EXPECT_EQ(shown.values, (std::array<std::string, kParamsPerRow>{"7", "11", "+/- 32", "3", "100", "Rel64"}));
    EXPECT_EQ(shown.assignments, (std::array<std::string, kParamsPerRow>{"Off", "5", "Off", "64", "1", "127"}));

    EXPECT_EQ(m_page->Deactivate(), S_OK);
    LoadCells(kDefaultCells);  // no window: nothing to show
    EXPECT_EQ(m_page->Activate(m_parent, &kPageRect, TRUE), S_OK);
    EXPECT_EQ(Text(IDC_MODE_VALUE), "Add");
}

TEST_F(PropPage, PageReleasedFirstWhileOpen) {
    Open();
    const HWND window = Window();
    EXPECT_EQ(m_page->Release(), 0u) << "released while active, site held";
    m_page = nullptr;
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(m_site.m_refCount, 1u) << "the page released its site";
    LoadCells({2, 3, 4, 5, 6, 1, 0, 0, 0, 0, 0, 0});  // the filter must not reach the page
    EXPECT_EQ(SavedCells()[Mode], 1);
}

TEST_F(PropPage, FilterReleasedFirstWhileOpen) {
    Open();
    EXPECT_EQ(m_filter->Release(), 0u);
    m_filter = nullptr;
    Scroll(WM_HSCROLL, IDC_AMOUNT_SLIDER, TB_LINEDOWN);
    EXPECT_EQ(Text(IDC_AMOUNT_VALUE), "85%") << "an edit with no filter changes nothing";
    EXPECT_TRUE(m_site.m_statusChanges.empty());
    EXPECT_EQ(m_page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(m_page->Deactivate(), S_OK);
    EXPECT_EQ(m_page->Activate(m_parent, &kPageRect, TRUE), S_OK);
    EXPECT_EQ(Text(IDC_AMOUNT_VALUE), "Static") << "the page forgot its filter";
}

TEST_F(PropPage, ArrowKeysMoveASliderOneStepEach) {
    Open();
    SetForegroundWindow(m_parent);
    const HWND slider = Item(IDC_AMOUNT_SLIDER);
    SetFocus(slider);
    ASSERT_EQ(GetFocus(), slider);
    const auto press = [&](WPARAM key) {
        SendMessageA(slider, WM_KEYDOWN, key, 1);
        SendMessageA(slider, WM_KEYUP, key, 0xC0000001);
    };
    for (int i = 0; i < 3; ++i) press(VK_RIGHT);
    EXPECT_EQ(SavedCells()[EffectAmount], 88);
    press(VK_LEFT);
    EXPECT_EQ(SavedCells()[EffectAmount], 87);
    EXPECT_EQ(Text(IDC_AMOUNT_VALUE), "87%");
    EXPECT_EQ(Send(IDC_AMOUNT_SLIDER, TBM_GETPOS), 87) << "the trackbar moved itself";
    EXPECT_EQ(m_site.m_statusChanges.size(), 4u);
}

// ---- The dialog template as the module carries it ------------------------------------------

namespace {

// Reads an extended dialog template: 16-bit words, 32-bit words, and texts
// that are either an ordinal (0xFFFF, number) or a terminated wide string.
class CTemplateReader {
public:
    explicit CTemplateReader(const BYTE* bytes) : m_at(bytes), m_start(bytes) {}
    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    std::string Text() {
        if (Peek() == 0xFFFF) {
            Word();
            return "#" + std::to_string(Word());
        }
        std::string text;
        for (WORD c = Word(); c != 0; c = Word()) text += static_cast<char>(c);
        return text;
    }
    void AlignToDword() { m_at = m_start + ((m_at - m_start + 3) & ~3); }

private:
    template <class T>
    T Take() {
        T value;
        std::memcpy(&value, m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }
    WORD Peek() const {
        WORD value;
        std::memcpy(&value, m_at, sizeof value);
        return value;
    }
    const BYTE* m_at;
    const BYTE* m_start;
};

}  // namespace

TEST_F(PropPage, TemplateIsTheDesignedDialog) {
    const HRSRC found = FindResourceExA(m_module.Handle(), MAKEINTRESOURCEA(5) /* RT_DIALOG */,
                                        MAKEINTRESOURCEA(IDD_VELTRACE_PAGE), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(found, nullptr) << "dialog 102, English (United States)";
    CTemplateReader in(static_cast<const BYTE*>(LockResource(LoadResource(m_module.Handle(), found))));
    EXPECT_EQ(in.Word(), 1) << "version";
    EXPECT_EQ(in.Word(), 0xFFFF) << "extended template";
    EXPECT_EQ(in.Dword(), 0u) << "help id";
    EXPECT_EQ(in.Dword(), static_cast<DWORD>(WS_EX_CONTROLPARENT));
    EXPECT_EQ(in.Dword(), static_cast<DWORD>(WS_CHILD | DS_SETFONT));
    const WORD count = in.Word();
    EXPECT_EQ(count, 38);
    const WORD frame[] = {in.Word(), in.Word(), in.Word(), in.Word()};
    EXPECT_EQ(std::vector<WORD>(frame, frame + 4), (std::vector<WORD>{0, 0, 173, 230}));
    EXPECT_EQ(in.Text() + "|" + in.Text() + "|" + in.Text(), "||") << "no menu, class or title";
    EXPECT_EQ(in.Word(), 8) << "points";
    EXPECT_EQ(in.Word(), 0) << "weight";
    EXPECT_EQ(in.Word(), 0x0100) << "not italic, DEFAULT_CHARSET";
    EXPECT_EQ(in.Text(), "MS Sans Serif");

    // Each kind of item by its whole style, and the class that goes with it.
    const std::map<DWORD, std::string> classOfStyle = {
        {0x50030000, "msctls_trackbar32"}, {0x58030020, "msctls_updown32"}, {0x50000002, "#130"},
        {0x50000000, "#130"},              {0x58000000, "#130"},            {0x50020001, "#130"}};
    std::map<int, std::pair<DWORD, std::string>> items;  // id: style, text
    std::vector<std::pair<WORD, std::string>> footers;   // y, text
    for (WORD item = 0; item < count; ++item) {
        in.AlignToDword();
        EXPECT_EQ(in.Dword(), 0u) << "help id";
        EXPECT_EQ(in.Dword(), 0u) << "extended style";
        const DWORD style = in.Dword();
        in.Word();
        const WORD y = in.Word();
        in.Word();
        in.Word();
        const int id = static_cast<int>(in.Dword());
        std::string windowClass = in.Text();
        for (char& c : windowClass) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string text = in.Text();
        EXPECT_EQ(in.Word(), 0) << "no creation data";
        ASSERT_TRUE(classOfStyle.count(style)) << "item " << item << " style " << std::hex << style;
        EXPECT_EQ(windowClass, classOfStyle.at(style)) << "item " << item;
        if (id == -1)
            footers.emplace_back(y, text);
        else
            EXPECT_TRUE(items.emplace(id, std::make_pair(style, text)).second) << "id " << id << " twice";
    }
    for (size_t index = 0; index < kParamsPerRow; ++index) {
        EXPECT_EQ(items[kSliders[index]].first, 0x50030000u);
        EXPECT_EQ(items[kSpins[index]].first, 0x58030020u);
        EXPECT_EQ(items[kValueLabels[index]], std::make_pair(DWORD{0x50000000}, std::string("Static")));
        EXPECT_EQ(items[kAssignLabels[index]], std::make_pair(DWORD{0x58000000}, std::string("Off")));
    }
    EXPECT_EQ(footers, (std::vector<std::pair<WORD, std::string>>{{201, "Quorvane MFX Veltrace"}, {212, "Version 1.5.0.1"}}));
}

// ---- Help ------------------------------------------------------------------------------

namespace {

// Stands in for the help engine's window: records what each request asked.
class CHelpEngine {
public:
    CHelpEngine() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = &CHelpEngine::WindowProc;
        windowClass.lpszClassName = "MS_WINHELP";
        RegisterClassA(&windowClass);
        s_current = this;
        m_window = CreateWindowA("MS_WINHELP", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    }
    ~CHelpEngine() {
        DestroyWindow(m_window);
        UnregisterClassA("MS_WINHELP", nullptr);
        s_current = nullptr;
    }
    std::vector<std::pair<WORD, std::string>> m_requests;  // command, help file

private:
    // The help request's layout: a small header, then the file name.
    struct Request {
        WORD size;
        WORD command;
        LONG data;
        LONG reserved;
        WORD fileOffset;
        WORD dataOffset;
    };
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COPYDATA && s_current != nullptr) {
            const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            const auto* request = static_cast<const Request*>(copy->lpData);
            s_current->m_requests.emplace_back(request->command,
                                               reinterpret_cast<const char*>(request) + request->fileOffset);
            return TRUE;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    static inline CHelpEngine* s_current = nullptr;
    HWND m_window;
};

// The help file a module at this path asks for.
std::string HelpFileOf(const std::string& modulePath) { return modulePath.substr(0, modulePath.size() - 3) + "HLP"; }

}  // namespace

TEST_F(PropPage, HelpAsksForTheFileBesideTheModule) {
    EXPECT_EQ(m_page->Help(nullptr), E_NOTIMPL) << "no help engine answered";
    CHelpEngine engine;
    Open();
    EXPECT_EQ(m_page->Help(L"C:\\ignored"), S_FALSE);
    ASSERT_EQ(engine.m_requests.size(), 1u);
    EXPECT_EQ(engine.m_requests[0].first, HELP_CONTENTS);
    EXPECT_EQ(engine.m_requests[0].second, HelpFileOf(ModulePath()));
}

TEST_F(PropPage, HelpFindsItsFileInALongPath) {
    // Under the temporary folder, not beside the module: from a checkout in a
    // long folder, the module's own path leaves no room below MAX_PATH.
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    std::string folder = std::string(temp) + "veltrace help test";
    std::vector<std::string> made;
    for (const char* part : {"", "\\a folder with a name long enough to pass the hundred characters",
                             "\\and one more level of depth"}) {
        folder += part;
        CreateDirectoryA(folder.c_str(), nullptr);
        made.push_back(folder);
    }
    const std::string copy = folder + "\\QvMfxVeltrace.dll";
    ASSERT_TRUE(CopyFileA(ModulePath().c_str(), copy.c_str(), FALSE));
    ASSERT_GT(copy.size(), 100u);
    ASSERT_LT(copy.size(), static_cast<std::size_t>(MAX_PATH));
    {
        CLoadedModule module(copy);
        ASSERT_TRUE(module.Loaded());
        IPropertyPage* page = module.Create<IPropertyPage>(CLSID_VeltracePropPage, IID_IPropertyPage);
        ASSERT_NE(page, nullptr);
        CHelpEngine engine;
        EXPECT_EQ(page->Help(nullptr), S_FALSE);
        ASSERT_EQ(engine.m_requests.size(), 1u);
        EXPECT_EQ(engine.m_requests[0].second, HelpFileOf(copy));
        EXPECT_EQ(page->Release(), 0u);
    }
    DeleteFileA(copy.c_str());
    for (auto it = made.rbegin(); it != made.rend(); ++it) RemoveDirectoryA(it->c_str());
}

// ---- The page's thread against a host thread ------------------------------------------

TEST_F(PropPage, LoadsOnAHostThreadMeetThePagesEditsAndDestruction) {
    Open();
    std::atomic<bool> stop{false};
    std::atomic<int> loads{0};
    const Cells a = {1, 2, 3, 4, 5, 1, 0, 0, 0, 0, 0, 0}, b = {9, 8, 7, 6, 5, 2, 1, 1, 1, 1, 1, 1};
    std::thread host([&] {
        CComApartment apartment;
        while (!stop) {
            LoadCells(++loads % 2 ? a : b);
            Sleep(1);  // a host loads now and then, not in a tight loop
        }
    });
    for (int i = 0; i < 60; ++i) {
        Scroll(WM_HSCROLL, kSliders[i % kParamsPerRow], i % 2 ? TB_LINEDOWN : TB_LINEUP);
        PumpMessages(10);
    }
    // While this thread takes no messages, loads go on: none waits for the page.
    const auto awaitLoads = [&](int count) {
        const int target = loads + count;
        const DWORD start = GetTickCount();
        while (loads < target && GetTickCount() - start < 10000) Sleep(1);
        return loads >= target;
    };
    EXPECT_TRUE(awaitLoads(50));
    PumpMessages(10);
    EXPECT_EQ(m_page->Release(), 0u) << "the page goes while loads go on";
    m_page = nullptr;
    EXPECT_TRUE(awaitLoads(50));
    stop = true;
    host.join();
    EXPECT_GT(loads, 50);
    LoadCells(a);
    EXPECT_EQ(SavedCells(), a);
}

TEST_F(PropPage, FilterReleasedOnAHostThreadWhileThePageEdits) {
    Open();
    std::atomic<bool> released{false};
    IMfxEventFilter* const filter = m_filter;
    m_filter = nullptr;
    std::thread host([&] {
        CComApartment apartment;
        for (int i = 0; i < 100; ++i) LoadCells(kDefaultCells, filter);
        filter->Release();
        released = true;
    });
    int edits = 0;
    while (!released || edits < 100) {
        Scroll(WM_HSCROLL, kSliders[edits % kParamsPerRow], edits % 2 ? TB_LINEDOWN : TB_LINEUP);
        ++edits;
        PumpMessages(10);
    }
    host.join();
    m_site.m_statusChanges.clear();
    Scroll(WM_HSCROLL, IDC_AMOUNT_SLIDER, TB_LINEDOWN);
    EXPECT_TRUE(m_site.m_statusChanges.empty()) << "the page forgot the filter that went";
}

TEST_F(PropPage, LoadOnAHostThreadNeverWaitsForThePage) {
    Open();
    OnHostThread([&] { LoadCells({7, 11, 50, 3, 100, 2, 0, 5, 128, 64, 1, 127}); });
    EXPECT_EQ(Text(IDC_AMOUNT_VALUE), "85%") << "the refresh waits for the page's thread";
    PumpMessages(10);
    EXPECT_EQ(Text(IDC_AMOUNT_VALUE), "+/- 32");
    EXPECT_EQ(Send(IDC_HIGH_SLIDER, TBM_GETPOS), 100);
}

TEST_F(PropPage, LoadsWhileThePageTakesNoMessagesQueueOneRefresh) {
    Open();
    OnHostThread([&] {
        LoadCells({1, 2, 3, 4, 5, 1, 0, 0, 0, 0, 0, 0});
        LoadCells({9, 8, 7, 6, 5, 0, 1, 1, 1, 1, 1, 1});
        LoadCells({7, 11, 50, 3, 100, 2, 0, 5, 128, 64, 1, 127});
    });
    // What the filter asks of the page's window comes as registered messages.
    int refreshes = 0;
    MSG message;
    while (PeekMessageA(&message, Window(), 0xC000, 0xFFFF, PM_REMOVE)) {
        ++refreshes;
        DispatchMessageA(&message);
    }
    EXPECT_EQ(refreshes, 1);
    const Shown shown = WhatIsShown();
    EXPECT_EQ(shown.sliders, (std::array<int, kParamsPerRow>{7, 11, 50, 3, 100, 2}));
    EXPECT_EQ(shown.values[EffectAmount], "+/- 32") << "the last load";
}

TEST_F(PropPage, EachLoadOnAHostThreadRefreshesThePageAgain) {
    Open();
    struct Round {
        Cells cells;
        const char* amount;
    };
    const Round rounds[] = {{{7, 11, 50, 3, 100, 2, 0, 5, 128, 64, 1, 127}, "+/- 32"},
                            {{9, 8, 70, 6, 5, 1, 1, 1, 1, 1, 1, 1}, "70%"}};
    for (const Round& round : rounds) {
        SCOPED_TRACE(round.amount);
        OnHostThread([&] { LoadCells(round.cells); });
        PumpMessages(10);
        const Shown shown = WhatIsShown();
        EXPECT_EQ(std::vector<int>(shown.sliders.begin(), shown.sliders.end()),
                  std::vector<int>(round.cells.begin(), round.cells.begin() + kParamsPerRow));
        EXPECT_EQ(shown.values[EffectAmount], round.amount);
    }
}

// ---- Wine's own property frame, as a host opens it -----------------------------------------

namespace {

// Finds the visible frame of this thread that holds a trackbar, reads the
// page's amount label and presses Cancel.
struct CFrameCloser {
    DWORD thread;
    std::string amountSeen;

    static BOOL CALLBACK HasTrackbar(HWND window, LPARAM found) {
        char name[32] = {};
        GetClassNameA(window, name, sizeof name);
        if (lstrcmpiA(name, TRACKBAR_CLASSA) == 0) *reinterpret_cast<HWND*>(found) = GetParent(window);
        return TRUE;
    }
    static BOOL CALLBACK Visit(HWND window, LPARAM self) {
        char name[32] = {};
        GetClassNameA(window, name, sizeof name);
        HWND page = nullptr;
        if (std::string(name) == "#32770" && IsWindowVisible(window)) EnumChildWindows(window, &HasTrackbar, reinterpret_cast<LPARAM>(&page));
        if (page == nullptr) return TRUE;
        char text[32] = {};
        GetDlgItemTextA(page, IDC_AMOUNT_VALUE, text, sizeof text);
        reinterpret_cast<CFrameCloser*>(self)->amountSeen = text;
        PostMessageA(GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
        return FALSE;
    }
    void Run() {
        for (int tries = 0; tries < 400 && amountSeen.empty(); ++tries) {
            Sleep(25);
            EnumThreadWindows(thread, &Visit, reinterpret_cast<LPARAM>(this));
        }
    }
};

}  // namespace

TEST_F(PropPage, WinesFrameOpensThePageAsAHostDoes) {
    m_page->Release();  // the frame makes its own
    m_page = nullptr;
    ISpecifyPropertyPages* specify = nullptr;
    ASSERT_EQ(m_filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&specify)), S_OK);
    CAUUID pages = {};
    ASSERT_EQ(specify->GetPages(&pages), S_OK);
    specify->Release();

    IClassFactory* factory = nullptr;
    ASSERT_EQ(m_module.GetClassObject(pages.pElems[0], IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(pages.pElems[0], factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);

    CFrameCloser closer{GetCurrentThreadId(), {}};
    std::thread closing([&] { closer.Run(); });
    IUnknown* objects[] = {m_filter};
    EXPECT_EQ(OleCreatePropertyFrame(m_parent, 0, 0, L"Veltrace", 1, objects, pages.cElems, pages.pElems, 0, 0, nullptr),
              S_OK);
    closing.join();
    EXPECT_EQ(closer.amountSeen, "85%");

    CoRevokeClassObject(cookie);
    EXPECT_EQ(factory->Release(), 0u);
    CoTaskMemFree(pages.pElems);
    EXPECT_EQ(RefCount(m_filter), 1u) << "the frame released everything it took";
}
