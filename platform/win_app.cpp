#include "platform/win_app.h"

#if defined(__GLIBCXX__)
// The C++ runtime's reserve for throwing exceptions when memory runs out. It
// is allocated when the module loads and, left to itself, never freed.
namespace __gnu_cxx {
void __freeres();
}
#endif

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

CWinApp* CWinApp::GetApp() { return g_app; }

BOOL CWinApp::AttachModule(HINSTANCE instance) {
    if (g_app == nullptr) return FALSE;
    g_app->m_hInstance = instance;
    return g_app->InitInstance();
}

void CWinApp::DetachModule() {
    if (g_app != nullptr) g_app->ExitInstance();
#if defined(__GLIBCXX__)
    // COM unloads the module whenever nothing of it is alive and loads it
    // again when asked: without this, every unload would lose the runtime's
    // exception reserve (about 73 KB). Nothing of the module runs afterwards.
    __gnu_cxx::__freeres();
#endif
}

HINSTANCE ModuleInstanceHandle() { return g_app != nullptr ? g_app->m_hInstance : nullptr; }
