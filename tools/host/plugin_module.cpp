#include "tools/host/plugin_module.h"

#include "midi/input_error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

CPluginModule::CPluginModule(const std::string& path) : m_path(path) {
#ifdef _WIN32
    m_handle = LoadLibraryA(path.c_str());
    if (m_handle == nullptr)
        throw InputError(path + ": cannot be loaded (error " + std::to_string(GetLastError()) + ")");
#else
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        const char* const why = dlerror();
        throw InputError(path + ": cannot be loaded (" + (why != nullptr ? why : "unknown") + ")");
    }
#endif
}

CPluginModule::~CPluginModule() {
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(m_handle));
#else
    dlclose(m_handle);
#endif
}

void* CPluginModule::Symbol(const char* name) const {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), name));
#else
    return dlsym(m_handle, name);
#endif
}
