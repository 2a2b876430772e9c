// A property-page site that records every status change it is told of, and
// can look at the page and its filter while it is being told. It lives on the
// test's stack; its count only shows who holds it.
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include <ocidl.h>

class CFakeSite final : public IPropertyPageSite {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IPropertyPageSite) {
            *object = static_cast<IPropertyPageSite*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refCount; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refCount; }  // lives on the test's stack
    HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD flags) override {
        m_statusChanges.push_back(flags);
        if (m_onStatusChange) m_onStatusChange(flags);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return E_NOTIMPL; }

    std::atomic<ULONG> m_refCount{1};
    std::vector<DWORD> m_statusChanges;
    std::function<void(DWORD)> m_onStatusChange;  // runs inside OnStatusChange
};
