// The module's two class factories. They differ only in what CreateInstance
// makes; CClassFactory holds everything else once.
#pragma once

#include <atomic>

#include "platform/com_base.h"
#include "platform/module_counts.h"

// Reference counting, QueryInterface (IUnknown and IClassFactory only) and
// LockServer for a factory whose CreateInstance the Derived class supplies.
// A live factory keeps the module loaded: the host may call it after asking.
template <class Derived>
class CClassFactory : private CModuleCounted<g_factoryAndPageCount>, public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refCount.fetch_add(1) + 1; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG count = m_refCount.fetch_sub(1) - 1;
        if (count == 0) delete static_cast<Derived*>(this);
        return count;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            g_lockCount.fetch_add(1);
        else
            g_lockCount.fetch_sub(1);
        return S_OK;
    }

protected:
    ~CClassFactory() = default;

private:
    std::atomic<ULONG> m_refCount{1};
};

class CMidiFilterFactory final : public CClassFactory<CMidiFilterFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
};

class CPropPageFactory final : public CClassFactory<CPropPageFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
};

// Hands out a new factory for a class id this module serves, as
// DllGetClassObject does: CLASS_E_CLASSNOTAVAILABLE for any other.
HRESULT GetClassFactory(REFCLSID classId, REFIID iid, void** object);
