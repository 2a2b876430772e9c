// The module's single application object. It adds nothing to the standard
// start-up and shutdown; it is where the module's instance handle lives.
#pragma once

#include "platform/win_app.h"

class CQvMfxVeltraceApp : public CWinApp {};

extern CQvMfxVeltraceApp theApp;
