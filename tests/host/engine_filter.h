// The filter engine behind the host's interface, as the module's filter
// forwards to it: playback tested and fuzzed natively, without the module.
#pragma once

#include "filter/filter_engine.h"
#include "filter/mfx.h"
#include "tests/filter/uncounted_object.h"

class CEngineFilter final : public CUncountedObject<IMfxEventFilter> {
public:
    HRESULT STDMETHODCALLTYPE Connect(IUnknown*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Disconnect() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStart(LONG) override {
        m_engine.ResetLastSent();
        ++m_starts;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnLoop(LONG, LONG) override { return OnStart(0); }
    HRESULT STDMETHODCALLTYPE OnStop(LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnEvents(LONG, LONG, IMfxEventQueue* input, IMfxEventQueue* output) override {
        ++m_blocks;
        m_engine.OnEvents(input, output);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnInput(IMfxDataQueue* input, IMfxDataQueue* output) override {
        m_engine.OnInput(input, output);
        return S_OK;
    }
    CFilterEngine m_engine;
    int m_starts = 0;
    int m_blocks = 0;
};
