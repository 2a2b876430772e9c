// The filter's property page: a child dialog with six sliders for the live
// settings and six (disabled) spins for their controller assignments, shown
// in the host's property frame through IPropertyPage. Every accepted slider
// step is written straight into the filter's table while the music plays.
#pragma once

#include <atomic>

#include <ocidl.h>

#include "core/filter_core.h"
#include "core/parameters.h"
#include "filter/page_link.h"
#include "platform/controls.h"
#include "platform/dialog.h"
#include "platform/module_counts.h"

// The module count comes first, so it outlives everything else of the page.
// The COM identity is the IPropertyPage interface.
class CQvMfxVeltracePropPage final : private CModuleCounted<g_factoryAndPageCount>,
                                     public CDialog,
                                     public IPropertyPage {
public:
    CQvMfxVeltracePropPage();

    // IUnknown [any thread]
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPropertyPage [page thread]
    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override;
    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    HRESULT STDMETHODCALLTYPE Deactivate() override;
    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override;
    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override;
    HRESULT STDMETHODCALLTYPE Show(UINT command) override;
    HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override;
    HRESULT STDMETHODCALLTYPE IsPageDirty() override;
    HRESULT STDMETHODCALLTYPE Apply() override;
    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR helpFolder) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override;

private:
    ~CQvMfxVeltracePropPage() override;  // only through Release

    // CDialog [page thread]
    BOOL OnInitDialog() override;
    void DoDataExchange() override;
    void OnHScroll(UINT code, UINT position, HWND control) override;
    void OnVScroll(UINT code, UINT position, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // [page thread] Destroys the window, after telling the filter link that
    // it is gone.
    void DestroyPageWindow();

    // [page thread] Sets every control and label from the filter's table; a
    // settings load asks for it. Touches nothing without a window or filter.
    BOOL RefreshControls();

    // A notification from one of `controls` (a slider or a spin): the
    // editing rules say what value it asks for, from the stored cell.
    template <class Control>
    void OnScroll(ParamRow row, const Control (&controls)[kParamsPerRow], UINT code, UINT position, HWND control);

    // [page thread] Stores one accepted change and tells everyone, in this
    // order: the cell, the filter's dirty flag, the page's dirty flag, the
    // site, the label. The site is told before the label changes; the
    // control that sent the change keeps the position it took by itself.
    void CommitEdit(CQvMfxVeltraceFilter& filter, ParamRow row, std::uint32_t index, std::int32_t value);

    // [page thread] The label of setting `index` (and, for the mode, the
    // amount's) for this value, in the form the stored mode asks for.
    void ShowSettingLabels(const CFilterCore& cells, std::uint32_t index, std::int32_t value);
    void ShowAssignLabel(std::uint32_t index, std::int32_t value);

    // Indexed by setting, MasterCc .. Mode.
    CSpinButtonCtrl m_spins[kParamsPerRow];
    CSliderCtrl m_sliders[kParamsPerRow];
    std::atomic<ULONG> m_refCount{1};
    CFilterPageLink m_filter;  // the filter being edited; no reference
    IPropertyPageSite* m_site = nullptr;  // owning reference
    LONG m_pageDirty = 0;  // edits made since the last Apply
};
