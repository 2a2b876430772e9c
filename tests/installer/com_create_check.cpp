// com_create_check: creates the plug-in's filter and its property page the
// way a host does, through the registry with CoCreateInstance, in a process
// of its own. Exit 0 when both are made.
#include <cstdio>

#include <objbase.h>
#include <ocidl.h>

#include "filter/class_ids.h"
#include "filter/mfx.h"

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int failures = 0;
    const struct {
        const char* name;
        const CLSID* classId;
        const IID* iid;
    } classes[] = {{"filter", &CLSID_VeltraceFilter, &IID_IMfxEventFilter}, {"page", &CLSID_VeltracePropPage, &IID_IPropertyPage}};
    for (const auto& served : classes) {
        IUnknown* object = nullptr;
        const HRESULT result = CoCreateInstance(*served.classId, nullptr, CLSCTX_INPROC_SERVER, *served.iid,
                                                reinterpret_cast<void**>(&object));
        std::printf("%s: 0x%08lx\n", served.name, static_cast<unsigned long>(result));
        if (FAILED(result)) ++failures;
        if (object) object->Release();
    }
    CoUninitialize();
    return failures == 0 ? 0 : 1;
}
