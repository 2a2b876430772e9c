#include "filter/filter.h"

#include "filter/class_ids.h"
#include "filter/event_paths.h"
#include "filter/settings_stream.h"

namespace {
const char kLoadFailedText[] = "Load for Quorvane MFX Veltrace settings failed.";
const char kMessageCaption[] = "QvMfxVeltrace";
}  // namespace

CQvMfxVeltraceFilter::CQvMfxVeltraceFilter() { CFilterPageLink::FilterCreated(*this); }

// The module count is lowered by the base, after the members are gone.
CQvMfxVeltraceFilter::~CQvMfxVeltraceFilter() {
    // A page still editing this filter must not reach it afterwards.
    CFilterPageLink::FilterDestroyed(*this);
}

// ---- IUnknown -------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CQvMfxVeltraceFilter::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMfxEventFilter) {
        *object = static_cast<IMfxEventFilter*>(this);
    } else if (iid == IID_IPersistStream) {
        *object = static_cast<IPersistStream*>(this);
    } else if (iid == IID_ISpecifyPropertyPages) {
        *object = static_cast<ISpecifyPropertyPages*>(this);
    } else {
        *object = nullptr;  // IPersist included: the host asks for the stream interface
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CQvMfxVeltraceFilter::AddRef() { return m_refCount.fetch_add(1) + 1; }

bool CQvMfxVeltraceFilter::TryAddRef() {
    ULONG count = m_refCount.load();
    while (count != 0)
        if (m_refCount.compare_exchange_weak(count, count + 1)) return true;
    return false;
}

ULONG STDMETHODCALLTYPE CQvMfxVeltraceFilter::Release() {
    const ULONG count = m_refCount.fetch_sub(1) - 1;
    if (count == 0) delete this;
    return count;
}

// ---- IMfxEventFilter ----------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CQvMfxVeltraceFilter::Connect(IUnknown*) {
    // The caller keeps its reference on the context; the filter needs none of
    // its services and keeps no pointer to it.
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltraceFilter::Disconnect() { return S_OK; }

HRESULT STDMETHODCALLTYPE CQvMfxVeltraceFilter::OnStart(LONG) {
    m_core.ResetLastSent();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltraceFilter::OnLoop(LONG, LONG) {
    m_core.ResetLastSent();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltraceFilter::OnStop(LONG) { return S_OK; }

HRESULT STDMETHODCALLTYPE CQvMfxVeltraceFilter::OnEvents(LONG, LONG, IMfxEventQueue* input, IMfxEventQueue* output) {
    RunSequencedPath(m_core, input, output);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltraceFilter::OnInput(IMfxDataQueue* input, IMfxDataQueue* output) {
    RunLivePath(m_core, input, output);
    return S_OK;
}

// ---- IPersistStream ---------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CQvMfxVeltraceFilter::GetClassID(CLSID* classId) {
    if (classId == nullptr) return E_POINTER;
    *classId = CLSID_VeltraceFilter;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltraceFilter::IsDirty() { return m_dirty.load(std::memory_order_relaxed) != 0 ? S_OK : S_FALSE; }

HRESULT STDMETHODCALLTYPE CQvMfxVeltraceFilter::Load(IStream* stream) {
    if (stream == nullptr) return E_POINTER;
    if (LoadSettings(m_core, stream) != LoadOutcome::Loaded) {
        // The host is never told; the user is, and Load returns once the box is closed.
        MessageBoxA(nullptr, kLoadFailedText, kMessageCaption, MB_OK | MB_ICONEXCLAMATION);
        return S_OK;
    }
    CFilterPageLink::RefreshPageOf(*this);
    m_dirty.store(0, std::memory_order_relaxed);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltraceFilter::Save(IStream* stream, BOOL clearDirty) {
    if (stream == nullptr) return E_POINTER;
    const HRESULT result = SaveSettings(m_core, stream);
    if (result == S_OK && clearDirty) m_dirty.store(0, std::memory_order_relaxed);
    return result;
}

HRESULT STDMETHODCALLTYPE CQvMfxVeltraceFilter::GetSizeMax(ULARGE_INTEGER* size) {
    if (size == nullptr) return E_POINTER;
    size->QuadPart = kSettingsStreamBytes;
    return S_OK;
}

// ---- ISpecifyPropertyPages ------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CQvMfxVeltraceFilter::GetPages(CAUUID* pages) {
    if (pages == nullptr) return E_POINTER;
    pages->cElems = 1;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));  // the caller frees it
    if (pages->pElems == nullptr) return E_OUTOFMEMORY;
    pages->pElems[0] = CLSID_VeltracePropPage;
    return S_OK;
}
