#include "platform/module_state.h"

#include "platform/win_app.h"

namespace {

// One thread-local slot per module. A Win32 TLS slot rather than
// thread_local: it holds a plain handle and leaves nothing behind in threads
// that outlive the module.
class CThreadSlot {
public:
    CThreadSlot() : m_index(TlsAlloc()) {}
    ~CThreadSlot() {
        if (m_index != TLS_OUT_OF_INDEXES) TlsFree(m_index);
    }
    HINSTANCE Get() const {
        return m_index == TLS_OUT_OF_INDEXES ? nullptr : static_cast<HINSTANCE>(TlsGetValue(m_index));
    }
    void Set(HINSTANCE module) const {
        if (m_index != TLS_OUT_OF_INDEXES) TlsSetValue(m_index, module);
    }

private:
    DWORD m_index;
};

const CThreadSlot g_resourceModule;

}  // namespace

HINSTANCE CurrentResourceModule() { return g_resourceModule.Get(); }

CModuleStateGuard::CModuleStateGuard() : m_previous(g_resourceModule.Get()) {
    g_resourceModule.Set(ModuleInstanceHandle());
}

CModuleStateGuard::~CModuleStateGuard() { g_resourceModule.Set(m_previous); }
