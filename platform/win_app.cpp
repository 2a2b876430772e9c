#include "platform/win_app.h"

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
}

HINSTANCE ModuleInstanceHandle() { return g_app != nullptr ? g_app->m_hInstance : nullptr; }
