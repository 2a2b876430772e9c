// The COM object the host creates for each insertion of the plug-in: its
// MIDI-effect interface (the object's identity), the settings stream through
// IPersistStream, and the name of its property page. It owns the core filter
// (core/) and hands it to the loops over the host's queues (event_paths.h),
// to the settings stream and to the page; it keeps COM's rules.
#pragma once

#include <atomic>

#include <ocidl.h>

#include "core/filter_core.h"
#include "filter/mfx.h"
#include "filter/page_link.h"
#include "platform/module_counts.h"

// The module count comes first: it is raised before anything else of the
// filter exists and lowered after everything else is gone. It is empty, so
// the object still begins with its IMfxEventFilter table.
class CQvMfxVeltraceFilter final : private CModuleCounted<g_objectCount>,
                                   public IMfxEventFilter,
                                   public IPersistStream,
                                   public ISpecifyPropertyPages {
public:
    CQvMfxVeltraceFilter();

    // IUnknown [any thread], one implementation for all three interfaces.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IMfxEventFilter [host thread]
    HRESULT STDMETHODCALLTYPE Connect(IUnknown* context) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE OnStart(LONG time) override;
    HRESULT STDMETHODCALLTYPE OnLoop(LONG timeRestart, LONG timeStop) override;
    HRESULT STDMETHODCALLTYPE OnStop(LONG time) override;
    HRESULT STDMETHODCALLTYPE OnEvents(LONG timeFrom, LONG timeThru, IMfxEventQueue* input,
                                       IMfxEventQueue* output) override;
    HRESULT STDMETHODCALLTYPE OnInput(IMfxDataQueue* input, IMfxDataQueue* output) override;

    // IPersistStream [host thread]
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;

    // ISpecifyPropertyPages [page thread]
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

    // For the property page [page thread]: the core whose cells it edits,
    // and the flag it sets after each edit. The page reaches the filter only
    // through CFilterPageLink, which keeps it alive meanwhile.
    CFilterCore& Core() { return m_core; }
    void SetDirty() { m_dirty.store(1, std::memory_order_relaxed); }

private:
    friend class CFilterPageLink;
    template <class>
    friend class CLiveList;

    virtual ~CQvMfxVeltraceFilter();  // only through Release

    // [any thread] A reference for the page, unless the count has already
    // reached zero and the filter is being destroyed.
    bool TryAddRef();

    std::atomic<ULONG> m_refCount{1};
    // Settings changed since the last save or load. Set on the page's thread,
    // cleared on a host thread: atomic, so the two never race.
    std::atomic<LONG> m_dirty{0};
    CFilterCore m_core;  // the table's cells (lock-free atomics) and the event paths' memories
    // The page editing this filter; no reference. Read and written only under
    // the module's link lock.
    CFilterPageLink* m_page = nullptr;
    CQvMfxVeltraceFilter* m_previousLive = nullptr;  // the module's live filters
    CQvMfxVeltraceFilter* m_nextLive = nullptr;
};
