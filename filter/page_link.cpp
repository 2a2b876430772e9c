#include "filter/page_link.h"

#include <atomic>

#include "platform/critical_lock.h"
#include "filter/filter.h"

namespace {

// Guards every link in both directions and the two lists below.
CCriticalLock g_linkLock;
CLiveList<CFilterPageLink> g_livePages;
CLiveList<CQvMfxVeltraceFilter> g_liveFilters;

}  // namespace

CFilterPageLink::CFilterPageLink() {
    CCriticalLock::Guard guard(g_linkLock);
    g_livePages.Add(this);
}

CFilterPageLink::~CFilterPageLink() {
    CCriticalLock::Guard guard(g_linkLock);
    g_livePages.Remove(this);
    LetGoOfFilter();
}

void CFilterPageLink::LetGoOfFilter() {
    if (m_filter != nullptr && m_filter->m_page == this) m_filter->m_page = nullptr;
}

HRESULT CFilterPageLink::Attach(IUnknown* object) {
    CCriticalLock::Guard guard(g_linkLock);
    // The host hands over the filter's IUnknown, which is the object's own
    // address. Anything that is not a live filter of this module is refused.
    CQvMfxVeltraceFilter* filter = nullptr;
    g_liveFilters.ForEach([&](CQvMfxVeltraceFilter* live) {
        if (static_cast<IUnknown*>(static_cast<IMfxEventFilter*>(live)) == object) filter = live;
    });
    if (filter == nullptr) return E_NOINTERFACE;
    LetGoOfFilter();
    m_filter = filter;
    filter->m_page = this;
    return S_OK;
}

void CFilterPageLink::SetRefreshWindow(HWND window) {
    CCriticalLock::Guard guard(g_linkLock);
    m_refreshWindow = window;
    m_refreshPending = false;  // a request to an earlier window went with it
}

void CFilterPageLink::RefreshTaken() {
    CCriticalLock::Guard guard(g_linkLock);
    m_refreshPending = false;
}

CFilterPageLink::CLockedFilter::~CLockedFilter() {
    // May be the last reference, if the host let go meanwhile: the filter is
    // then destroyed here, outside the link lock, which its destructor takes.
    if (m_filter != nullptr) static_cast<IMfxEventFilter*>(m_filter)->Release();
}

CFilterPageLink::CLockedFilter CFilterPageLink::Lock() const {
    CCriticalLock::Guard guard(g_linkLock);
    // A filter whose count reached zero is already on its way out: its
    // destructor is waiting for this lock to unlink itself.
    if (m_filter != nullptr && m_filter->TryAddRef()) return CLockedFilter(m_filter);
    return CLockedFilter(nullptr);
}

UINT CFilterPageLink::RefreshMessage() {
    // Registering the same name again gives the same number, so a race here
    // is harmless. The static is constant-initialised, so it has no
    // thread-safe guard, which would leave a lock of the runtime's behind at
    // every unload of the module.
    static std::atomic<UINT> message{0};
    UINT known = message.load(std::memory_order_relaxed);
    if (known == 0) {
        known = RegisterWindowMessageA("QvMfxVeltrace.RefreshControls");
        message.store(known, std::memory_order_relaxed);
    }
    return known;
}

void CFilterPageLink::FilterCreated(CQvMfxVeltraceFilter& filter) {
    CCriticalLock::Guard guard(g_linkLock);
    g_liveFilters.Add(&filter);
}

void CFilterPageLink::FilterDestroyed(CQvMfxVeltraceFilter& filter) {
    CCriticalLock::Guard guard(g_linkLock);
    g_liveFilters.Remove(&filter);
    g_livePages.ForEach([&](CFilterPageLink* page) {
        if (page->m_filter == &filter) page->m_filter = nullptr;
    });
}

void CFilterPageLink::RefreshPageOf(const CQvMfxVeltraceFilter& filter) {
    HWND window = nullptr;
    {
        CCriticalLock::Guard guard(g_linkLock);
        CFilterPageLink* const page = filter.m_page;
        if (page != nullptr && page->m_refreshWindow != nullptr && !page->m_refreshPending) {
            window = page->m_refreshWindow;
            page->m_refreshPending = true;
        }
    }
    if (window == nullptr) return;
    // Outside the lock. On the page's own thread the refresh runs now. From
    // another thread it is posted, never sent: this thread does not wait for
    // the page's, and the page's thread takes it in turn with its input
    // instead of ahead of everything. A window that is gone by then (with
    // its page) simply receives nothing.
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
        SendMessageA(window, RefreshMessage(), 0, 0);
    else
        PostMessageA(window, RefreshMessage(), 0, 0);
}
