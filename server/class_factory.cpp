#include "server/class_factory.h"

#include <new>

#include "filter/class_ids.h"
#include "page/prop_page.h"
#include "filter/filter.h"

namespace {

// The creator's reference is handed out through QueryInterface and then
// dropped, so a refused interface destroys the new object at once.
template <class Object, class Interface>
HRESULT HandOut(Object* created, REFIID iid, void** object) {
    if (created == nullptr) return E_OUTOFMEMORY;
    Interface* identity = created;
    const HRESULT result = identity->QueryInterface(iid, object);
    identity->Release();
    return result;
}

// A class factory's CreateInstance: neither class can be aggregated.
template <class Object, class Interface>
HRESULT CreateNew(IUnknown* outer, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return HandOut<Object, Interface>(new (std::nothrow) Object, iid, object);
}

}  // namespace

HRESULT STDMETHODCALLTYPE CMidiFilterFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    return CreateNew<CQvMfxVeltraceFilter, IMfxEventFilter>(outer, iid, object);
}

HRESULT STDMETHODCALLTYPE CPropPageFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    return CreateNew<CQvMfxVeltracePropPage, IPropertyPage>(outer, iid, object);
}

HRESULT GetClassFactory(REFCLSID classId, REFIID iid, void** object) {
    if (classId == CLSID_VeltraceFilter)
        return HandOut<CMidiFilterFactory, IClassFactory>(new (std::nothrow) CMidiFilterFactory, iid, object);
    if (classId == CLSID_VeltracePropPage)
        return HandOut<CPropPageFactory, IClassFactory>(new (std::nothrow) CPropPageFactory, iid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}
