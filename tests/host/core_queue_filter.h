// The core behind the host's interface through the Windows face's loops, as
// the module's filter runs them: playback tested and fuzzed natively, without
// the module.
#pragma once

#include "core/filter_core.h"
#include "filter/event_paths.h"
#include "filter/mfx.h"
#include "tests/filter/uncounted_object.h"

class CCoreQueueFilter final : public CUncountedObject<IMfxEventFilter> {
public:
    HRESULT STDMETHODCALLTYPE Connect(IUnknown*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Disconnect() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStart(LONG) override {
        m_core.ResetLastSent();
        ++m_starts;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnLoop(LONG, LONG) override { return OnStart(0); }
    HRESULT STDMETHODCALLTYPE OnStop(LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnEvents(LONG, LONG, IMfxEventQueue* input, IMfxEventQueue* output) override {
        ++m_blocks;
        RunSequencedPath(m_core, input, output);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnInput(IMfxDataQueue* input, IMfxDataQueue* output) override {
        RunLivePath(m_core, input, output);
        return S_OK;
    }
    CFilterCore m_core;
    int m_starts = 0;
    int m_blocks = 0;
};
