#include "page/prop_page.h"

#include <cstdlib>
#include <string>

#include "filter/filter.h"
#include "page/page_rules.h"
#include "page/resource.h"
#include "platform/module_state.h"
#include "platform/win_app.h"

namespace {

const char kPageTitle[] = "Quorvane MFX Veltrace Title";
constexpr ULONG kTitleBytes = 256;
constexpr SIZE kDefaultPageSize = {100, 100};

// The controls and labels of each setting, in setting order.
struct ControlIds {
    int slider;
    int spin;
    int valueLabel;
    int assignLabel;
};
constexpr ControlIds kControlIds[kParamsPerRow] = {
    {IDC_MASTER_SLIDER, IDC_MASTER_SPIN, IDC_MASTER_VALUE, IDC_MASTER_ASSIGN},
    {IDC_MODIFIER_SLIDER, IDC_MODIFIER_SPIN, IDC_MODIFIER_VALUE, IDC_MODIFIER_ASSIGN},
    {IDC_AMOUNT_SLIDER, IDC_AMOUNT_SPIN, IDC_AMOUNT_VALUE, IDC_AMOUNT_ASSIGN},
    {IDC_LOW_SLIDER, IDC_LOW_SPIN, IDC_LOW_VALUE, IDC_LOW_ASSIGN},
    {IDC_HIGH_SLIDER, IDC_HIGH_SPIN, IDC_HIGH_VALUE, IDC_HIGH_ASSIGN},
    {IDC_MODE_SLIDER, IDC_MODE_SPIN, IDC_MODE_VALUE, IDC_MODE_ASSIGN},
};

// This module's full path, however long.
bool ModuleFilePath(std::string& path) {
    for (DWORD size = MAX_PATH; size <= 65536; size *= 2) {
        path.assign(size, '\0');
        const DWORD length = GetModuleFileNameA(ModuleInstanceHandle(), path.data(), size);
        if (length == 0) return false;
        if (length < size) {
            path.resize(length);
            return true;
        }
    }
    return false;
}

}  // namespace

CQvMfxVeltracePropPage::CQvMfxVeltracePropPage() : CDialog(IDD_VELTRACE_PAGE) {}

// The window goes first, so nothing reaches the page while the rest goes;
// then the site, whose reference the page owns. The filter link unlinks
// itself as a member, and the module count goes last, with the base.
CQvMfxVeltracePropPage::~CQvMfxVeltracePropPage() {
    DestroyPageWindow();
    if (m_site != nullptr) m_site->Release();
}

void CQvMfxVeltracePropPage::DestroyPageWindow() {
    m_filter.SetRefreshWindow(nullptr);  // first: a load from now on asks no window
    DestroyWindow();
}

// ---- IUnknown ---------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CQvMfxVeltracePropPage::QueryInterface(REFIID iid, void** object) {
    CModuleStateGuard state;
    if (object == nullptr) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IPropertyPage) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IPropertyPage*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CQvMfxVeltracePropPage::AddRef() {
    CModuleStateGuard state;
    return m_refCount.fetch_add(1) + 1;
}

ULONG STDMETHODCALLTYPE CQvMfxVeltracePropPage::Release() {
    CModuleStateGuard state;
    const ULONG count = m_refCount.fetch_sub(1) - 1;
    if (count == 0) delete this;
    return count;
}

// ---- IPropertyPage --------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CQvMfxVeltracePropPage::SetPageSite(IPropertyPageSite* site) {
    if ((site != nullptr) == (m_site != nullptr)) return E_UNEXPECTED;  // a second site, or none to clear
    if (site != nullptr) site->AddRef();
    if (m_site != nullptr) m_site->Release();
    m_site = site;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltracePropPage::Activate(HWND parent, LPCRECT rect, BOOL) {
    if (rect == nullptr) return E_POINTER;
    if (m_hWnd != nullptr) return E_UNEXPECTED;
    {
        CModuleStateGuard state;  // the template is this module's
        if (!Create(parent)) return E_OUTOFMEMORY;
    }
    m_filter.SetRefreshWindow(m_hWnd);
    IPropertyPage* const page = this;
    page->Move(rect);
    page->Show(SW_SHOWNORMAL);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltracePropPage::Deactivate() {
    CModuleStateGuard state;
    if (m_hWnd == nullptr) return E_UNEXPECTED;
    DestroyPageWindow();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltracePropPage::GetPageInfo(PROPPAGEINFO* info) {
    if (info == nullptr) return E_POINTER;
    info->pszTitle = static_cast<LPOLESTR>(CoTaskMemAlloc(kTitleBytes));  // the frame frees it
    if (info->pszTitle == nullptr) return E_OUTOFMEMORY;
    std::mbstowcs(info->pszTitle, kPageTitle, kTitleBytes / sizeof(OLECHAR));

    info->cb = sizeof(PROPPAGEINFO);
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    // Measured from the template alone: the page's own window, controls and
    // links are not touched.
    if (!MeasureDialogTemplate(ModuleInstanceHandle(), IDD_VELTRACE_PAGE, &info->size)) info->size = kDefaultPageSize;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltracePropPage::SetObjects(ULONG count, IUnknown** objects) {
    if (count == 0) return E_FAIL;  // a frame handing the objects back: the page keeps its filter
    if (count > 1) return E_UNEXPECTED;
    if (objects == nullptr || objects[0] == nullptr) return E_POINTER;
    return m_filter.Attach(objects[0]);
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltracePropPage::Show(UINT command) {
    if (m_hWnd == nullptr) return E_UNEXPECTED;
    if (command != SW_HIDE && command != SW_SHOWNORMAL && command != SW_SHOW) return E_INVALIDARG;
    ShowWindow(m_hWnd, static_cast<int>(command));
    if (command != SW_HIDE) SetFocus(m_sliders[MasterCc].GetSafeHwnd());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltracePropPage::Move(LPCRECT rect) {
    if (rect == nullptr) return E_POINTER;
    MoveWindow(m_hWnd, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltracePropPage::IsPageDirty() { return m_pageDirty != 0 ? S_OK : S_FALSE; }

// Every edit is in the filter already; applying only makes the page clean.
HRESULT STDMETHODCALLTYPE CQvMfxVeltracePropPage::Apply() {
    m_pageDirty = 0;
    return S_OK;
}

// The help file sits beside the module: its path with "HLP" for the last
// three characters.
HRESULT STDMETHODCALLTYPE CQvMfxVeltracePropPage::Help(LPCOLESTR) {
    CModuleStateGuard state;
    std::string path;
    try {
        if (!ModuleFilePath(path) || path.size() < 3) return E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    path.replace(path.size() - 3, 3, "HLP");
    return WinHelpA(m_hWnd, path.c_str(), HELP_CONTENTS, 0) ? S_FALSE : E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltracePropPage::TranslateAccelerator(MSG*) { return E_NOTIMPL; }

// ---- The dialog ------------------------------------------------------------------------

void CQvMfxVeltracePropPage::DoDataExchange() {
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
        AttachControl(m_spins[index], kControlIds[index].spin);
        AttachControl(m_sliders[index], kControlIds[index].slider);
    }
}

BOOL CQvMfxVeltracePropPage::OnInitDialog() {
    CDialog::OnInitDialog();
    if (!m_filter.Lock()) return TRUE;  // no filter: the template's texts stay
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
        m_sliders[index].SetRange(GetParamMin(SettingRow, index), GetParamMax(SettingRow, index), false);
        m_spins[index].SetRange(static_cast<short>(GetParamMin(CcAssignRow, index)),
                                static_cast<short>(GetParamMax(CcAssignRow, index)));
    }
    return RefreshControls();
}

BOOL CQvMfxVeltracePropPage::RefreshControls() {
    const CFilterPageLink::CLockedFilter filter = m_filter.Lock();
    if (!filter || m_hWnd == nullptr) return TRUE;
    const CFilterCore& cells = filter.Get()->Core();
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
        m_sliders[index].SetPos(cells.GetParam(SettingRow, index));
        // The spin takes 16 bits; assignments are 0..128.
        m_spins[index].SetPos(static_cast<short>(cells.GetParam(CcAssignRow, index)));
        ShowSettingLabels(cells, index, cells.GetParam(SettingRow, index));
        ShowAssignLabel(index, cells.GetParam(CcAssignRow, index));
    }
    return TRUE;
}

template <class Control>
void CQvMfxVeltracePropPage::OnScroll(ParamRow row, const Control (&controls)[kParamsPerRow], UINT code,
                                      UINT position, HWND control) {
    for (std::uint32_t index = 0; index < kParamsPerRow; ++index) {
        if (control == nullptr || controls[index].GetSafeHwnd() != control) continue;
        // The site is host code: should it let go of the page meanwhile, the
        // page still lives until this edit is done.
        AddRef();
        if (const CFilterPageLink::CLockedFilter filter = m_filter.Lock()) {
            const std::int32_t current = filter.Get()->Core().GetParam(row, index);
            if (const auto value = ScrolledValue(row, index, static_cast<int>(code), current,
                                                 static_cast<std::int32_t>(position)))
                CommitEdit(*filter.Get(), row, index, *value);
        }
        Release();
        return;
    }
}

void CQvMfxVeltracePropPage::OnHScroll(UINT code, UINT position, HWND control) {
    OnScroll(SettingRow, m_sliders, code, position, control);
}

void CQvMfxVeltracePropPage::OnVScroll(UINT code, UINT position, HWND control) {
    OnScroll(CcAssignRow, m_spins, code, position, control);
}

bool CQvMfxVeltracePropPage::OnMessage(UINT message, WPARAM, LPARAM) {
    if (message != CFilterPageLink::RefreshMessage()) return false;
    m_filter.RefreshTaken();
    RefreshControls();
    return true;
}

// ---- An accepted edit --------------------------------------------------------------------

void CQvMfxVeltracePropPage::CommitEdit(CQvMfxVeltraceFilter& filter, ParamRow row, std::uint32_t index,
                                        std::int32_t value) {
    filter.Core().SetParam(row, index, value);
    filter.SetDirty();
    m_pageDirty = 1;
    if (m_site != nullptr) m_site->OnStatusChange(PROPPAGESTATUS_DIRTY);
    if (row == SettingRow)
        ShowSettingLabels(filter.Core(), index, value);
    else
        ShowAssignLabel(index, value);
}

void CQvMfxVeltracePropPage::ShowSettingLabels(const CFilterCore& cells, std::uint32_t index, std::int32_t value) {
    for (const ValueLabel& label :
         SettingLabels(index, value, cells.GetParam(SettingRow, Mode), cells.GetParam(SettingRow, EffectAmount)))
        SetDlgItemTextA(m_hWnd, kControlIds[label.index].valueLabel, label.text.c_str());
}

void CQvMfxVeltracePropPage::ShowAssignLabel(std::uint32_t index, std::int32_t value) {
    SetDlgItemTextA(m_hWnd, kControlIds[index].assignLabel, AssignLabelText(index, value).c_str());
}
