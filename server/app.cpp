#include "server/app.h"

CQvMfxVeltraceApp theApp;

// Runs only the standard sequence: the application object is built by static
// initialisation before this, and torn down by static clean-up after it.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        return CWinApp::AttachModule(instance);
    case DLL_PROCESS_DETACH:
        CWinApp::DetachModule();
        break;
    default:
        break;
    }
    return TRUE;
}
