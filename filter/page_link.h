// The link between a property page and the filter it edits.
//
// Neither side holds a reference on the other, and the two may be destroyed
// on different threads: the page on its window thread, the filter on
// whichever host thread releases it last. So both directions of every link
// (a page's filter, a filter's m_page) change only under one module-wide
// lock, and each side unlinks itself under that lock before it is freed. The
// lock is held for pointer work alone: never across a call into the host, a
// window message or another lock, so no thread can wait on it for long.
//
// A page uses its filter only through a counted reference taken under the
// lock (Lock), and a filter that is being destroyed gives none. A filter
// reaches its page only through the page's window handle (RefreshPageOf),
// which stays harmless after the page is gone.
#pragma once

#include "platform/com_base.h"

class CQvMfxVeltraceFilter;

class CFilterPageLink {
public:
    CFilterPageLink();   // [page thread] joins the module's live links
    ~CFilterPageLink();  // [page thread] leaves them; a filter naming this link lets go of it
    CFilterPageLink(const CFilterPageLink&) = delete;
    CFilterPageLink& operator=(const CFilterPageLink&) = delete;

    // [page thread] Edits `object` from now on if it is a filter of this
    // module: the filter's m_page then names this link, and a filter edited
    // before lets go of it (if it still names it). Any other object:
    // E_NOINTERFACE and nothing changes.
    HRESULT Attach(IUnknown* object);

    // [page thread] The window that a settings load asks to refresh, with
    // RefreshMessage(); null while the page has none.
    void SetRefreshWindow(HWND window);

    // [page thread] The page is about to show its filter's table: a load
    // from now on asks for another refresh. Until then further loads add no
    // request, so a busy loading thread cannot flood the page's queue.
    void RefreshTaken();

    // A counted reference to the attached filter, held for one edit or one
    // refresh; empty when none is attached or it is being destroyed.
    class CLockedFilter {
    public:
        explicit CLockedFilter(CQvMfxVeltraceFilter* filter) : m_filter(filter) {}
        ~CLockedFilter();
        CLockedFilter(CLockedFilter&& other) noexcept : m_filter(other.m_filter) { other.m_filter = nullptr; }
        CLockedFilter(const CLockedFilter&) = delete;
        CLockedFilter& operator=(const CLockedFilter&) = delete;
        CLockedFilter& operator=(CLockedFilter&&) = delete;

        CQvMfxVeltraceFilter* Get() const { return m_filter; }
        explicit operator bool() const { return m_filter != nullptr; }

    private:
        CQvMfxVeltraceFilter* m_filter;
    };
    // [page thread]
    CLockedFilter Lock() const;

    // The registered window message a page's window gets when its filter's
    // settings were loaded.
    static UINT RefreshMessage();

    // [any thread] From the filter's constructor and destructor. A filter
    // that is destroyed leaves the live filters, and every page that edits
    // it forgets it.
    static void FilterCreated(CQvMfxVeltraceFilter& filter);
    static void FilterDestroyed(CQvMfxVeltraceFilter& filter);

    // [host thread] Settings were loaded into `filter`: ask the window of the
    // page that edits it to show them. On the page's own thread the refresh
    // runs before this returns; from another thread it is posted and runs
    // when that thread next takes its messages, so this never waits on it.
    static void RefreshPageOf(const CQvMfxVeltraceFilter& filter);

private:
    template <class>
    friend class CLiveList;

    // Clears the filter's link if it still names this one. Under the link lock.
    void LetGoOfFilter();

    CQvMfxVeltraceFilter* m_filter = nullptr;  // no reference
    HWND m_refreshWindow = nullptr;
    bool m_refreshPending = false;  // a refresh was asked for and has not started
    CFilterPageLink* m_previousLive = nullptr;  // the module's live links
    CFilterPageLink* m_nextLive = nullptr;
};

// The module's live links or live filters. The items carry their own list
// pointers, so joining and leaving never allocate. The caller holds the
// module's link lock.
template <class T>
class CLiveList {
public:
    void Add(T* item) {
        item->m_previousLive = nullptr;
        item->m_nextLive = m_first;
        if (m_first != nullptr) m_first->m_previousLive = item;
        m_first = item;
    }
    void Remove(T* item) {
        (item->m_previousLive != nullptr ? item->m_previousLive->m_nextLive : m_first) = item->m_nextLive;
        if (item->m_nextLive != nullptr) item->m_nextLive->m_previousLive = item->m_previousLive;
    }
    template <class Visit>
    void ForEach(Visit visit) const {
        for (T* item = m_first; item != nullptr; item = item->m_nextLive) visit(item);
    }

private:
    T* m_first = nullptr;
};
