// The VST3 edition's factory: DPF's VST3 plug-in behind a factory of the
// filter's own. DPF builds the plug-in (its main is compiled with its
// factory renamed dpf_vst3_factory); this factory answers with DPF's classes
// (their version the release's whole one) and makes the filter's component
// in front of each of DPF's (vst3_component.h).
#include <atomic>
#include <cstdio>
#include <new>

#include "dpf/vst3_component.h"
#include "dpf/vst3_object.h"
#include "travesty/factory.h"

extern "C" const void* dpf_vst3_factory(void);

namespace {

// --- the factory --------------------------------------------------------------

class CFactory {
public:
    explicit CFactory(v3_plugin_factory_cpp** dpf) : m_dpf(dpf) {}
    CFactory(const CFactory&) = delete;
    CFactory& operator=(const CFactory&) = delete;

    void** Object() { return reinterpret_cast<void**>(&m_self); }

private:
    static CFactory& Of(void* self) { return *(*static_cast<Table**>(self))->owner; }
    v3_plugin_factory_cpp& Dpf() const { return **m_dpf; }

    static v3_result V3_API Query(void* self, const v3_tuid iid, void** object) {
        if (SameId(iid, v3_funknown_iid) || SameId(iid, v3_plugin_factory_iid) || SameId(iid, v3_plugin_factory_2_iid) ||
            SameId(iid, v3_plugin_factory_3_iid)) {
            Ref(self);
            *object = self;
            return V3_OK;
        }
        *object = nullptr;
        return V3_NO_INTERFACE;
    }
    static uint32_t V3_API Ref(void* self) { return ++Of(self).m_references; }
    static uint32_t V3_API Unref(void* self) {
        CFactory* const factory = &Of(self);
        const uint32_t left = --factory->m_references;
        if (left == 0) {
            factory->Dpf().unref(factory->m_dpf);
            delete factory;
        }
        return left;
    }

    static v3_result V3_API FactoryInfo(void* self, v3_factory_info* info) {
        return Of(self).Dpf().v1.get_factory_info(Of(self).m_dpf, info);
    }
    static int32_t V3_API ClassCount(void* self) { return Of(self).Dpf().v1.num_classes(Of(self).m_dpf); }
    static v3_result V3_API ClassInfo(void* self, int32_t index, v3_class_info* info) {
        return Of(self).Dpf().v1.get_class_info(Of(self).m_dpf, index, info);
    }
    // The release's whole version, where DPF gives three numbers.
    static v3_result V3_API ClassInfo2(void* self, int32_t index, v3_class_info_2* info) {
        const v3_result result = Of(self).Dpf().v2.get_class_info_2(Of(self).m_dpf, index, info);
        if (result == V3_OK) std::snprintf(info->version, sizeof info->version, "%s", VELTRACE_VERSION);
        return result;
    }
    static v3_result V3_API ClassInfo3(void* self, int32_t index, v3_class_info_3* info) {
        const v3_result result = Of(self).Dpf().v3.get_class_info_utf16(Of(self).m_dpf, index, info);
        if (result == V3_OK) {
            const char version[] = VELTRACE_VERSION;
            for (std::size_t i = 0; i < sizeof version; ++i) info->version[i] = static_cast<int16_t>(version[i]);
        }
        return result;
    }
    static v3_result V3_API SetHostContext(void* self, v3_funknown** context) {
        return Of(self).Dpf().v3.set_host_context(Of(self).m_dpf, context);
    }

    // [main thread] The filter's component in front of DPF's.
    static v3_result V3_API Create(void* self, const v3_tuid classId, const v3_tuid iid, void** instance) {
        if (instance == nullptr) return V3_INVALID_ARG;
        *instance = nullptr;
        void* made = nullptr;
        const v3_result result = Of(self).Dpf().v1.create_instance(Of(self).m_dpf, classId, v3_component_iid, &made);
        if (result != V3_OK) return result;
        if (made == nullptr) return V3_NO_INTERFACE;
        v3_component** const component = GuardedComponent(static_cast<v3_component**>(made));
        if (component == nullptr) return V3_NOMEM;
        // The interface the host asked for, of the filter's component.
        const v3_result asked = (*reinterpret_cast<v3_funknown**>(component))->query_interface(component, iid, instance);
        (*reinterpret_cast<v3_funknown**>(component))->unref(component);
        return asked;
    }

    struct Table : v3_plugin_factory_cpp {
        CFactory* owner;
    };
    v3_plugin_factory_cpp** const m_dpf;
    std::atomic<uint32_t> m_references{1};
    Table m_table{{{Query, Ref, Unref},
                   {FactoryInfo, ClassCount, ClassInfo, Create},
                   {ClassInfo2},
                   {ClassInfo3, SetHostContext}},
                  this};
    Table* m_self = &m_table;
};

}  // namespace

#ifdef _WIN32
#define VELTRACE_EXPORT __declspec(dllexport)
#else
#define VELTRACE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" VELTRACE_EXPORT const void* GetPluginFactory(void);

const void* GetPluginFactory(void) {
    auto* const dpf = static_cast<v3_plugin_factory_cpp**>(const_cast<void*>(dpf_vst3_factory()));
    if (dpf == nullptr) return nullptr;
    auto* const factory = new (std::nothrow) CFactory(dpf);
    if (factory == nullptr) {
        (*dpf)->unref(dpf);
        return nullptr;
    }
    return factory->Object();
}
