// Which module's resources the calling thread's dialog code uses, in place of
// an application framework's per-module state. Code that runs on behalf of
// this module (the property page's entry points) selects it for the length of
// the call with CModuleStateGuard; a dialog template is then looked up here
// and not in whichever module happened to be current.
#pragma once

#include "platform/com_base.h"

// [any thread] The module selected on the calling thread; null while none is.
HINSTANCE CurrentResourceModule();

// Selects this module (ModuleInstanceHandle) on the calling thread and
// restores the caller's choice on every way out of the scope.
class CModuleStateGuard {
public:
    CModuleStateGuard();
    ~CModuleStateGuard();
    CModuleStateGuard(const CModuleStateGuard&) = delete;
    CModuleStateGuard& operator=(const CModuleStateGuard&) = delete;

private:
    HINSTANCE m_previous;
};
