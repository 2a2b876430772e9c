// The in-process server's entry points for the COM runtime.
#include "platform/com_base.h"
#include "server/class_factory.h"
#include "platform/module_counts.h"

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object) { return GetClassFactory(classId, iid, object); }

// The module may go while nothing of it is alive and no lock is held. A live
// factory or page counts too: the host may call it after asking this.
STDAPI DllCanUnloadNow() {
    const bool inUse = g_objectCount.load() != 0 || g_lockCount.load() != 0 || g_factoryAndPageCount.load() != 0;
    return inUse ? S_FALSE : S_OK;
}
