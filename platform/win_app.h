// The module's application object, in place of an application framework:
// the one place that records the module's instance handle. DllMain hands the
// handle over at process attach and runs the standard start-up and shutdown.
#pragma once

#include "platform/com_base.h"

class CWinApp {
public:
    CWinApp();  // the module's one application object registers itself here
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up may refuse the load by returning FALSE; shutdown's result is unused.
    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }

    HINSTANCE m_hInstance = nullptr;

    static CWinApp* GetApp();
    // From DllMain.
    static BOOL AttachModule(HINSTANCE instance);
    static void DetachModule();
};

// The instance handle of the module this code is linked into.
HINSTANCE ModuleInstanceHandle();
