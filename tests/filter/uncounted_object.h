// IUnknown for a test double that lives on the test's stack: it answers no
// interface but its own and does not count references.
#pragma once

#include "platform/com_base.h"

template <class Interface>
class CUncountedObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};
