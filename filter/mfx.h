// The host's MIDI-effect interface, as far as this plug-in relies on it.
//
// The host owns these declarations; they are written here from its published
// contract: the records' named bytes and offsets, and the interface slots in
// their order. Everything not named is carried through unchanged.
#pragma once

#include <cstddef>

#include "platform/com_base.h"

// ---- Records -----------------------------------------------------------------

#pragma pack(push, 1)

// One sequenced event. The host's record is larger than the bytes named here
// and its GetAt fills a whole record, so the reserved tail is part of ours.
struct MfxEvent {
    LONG m_time;      // carried
    BYTE m_port;      // carried
    BYTE m_channel;   // carried
    LONG m_type;      // MfxEventType; only controller and channel pressure are looked at
    BYTE m_data1;     // controller number
    BYTE m_data2;     // controller value, or the channel-pressure amount
    BYTE m_reserved[52];  // carried
};

// One live short message: a time and a packed MIDI message.
struct MfxData {
    LONG m_time;    // carried
    BYTE m_status;  // high nibble: message kind; low nibble: channel
    BYTE m_data1;
    BYTE m_data2;
    BYTE m_extra;   // carried
};

#pragma pack(pop)

static_assert(sizeof(MfxEvent) == 64, "MfxEvent is a packed 64-byte record");
static_assert(offsetof(MfxEvent, m_time) == 0, "MfxEvent time offset");
static_assert(offsetof(MfxEvent, m_port) == 4, "MfxEvent port offset");
static_assert(offsetof(MfxEvent, m_channel) == 5, "MfxEvent channel offset");
static_assert(offsetof(MfxEvent, m_type) == 6, "MfxEvent type offset");
static_assert(offsetof(MfxEvent, m_data1) == 10, "MfxEvent first data byte offset");
static_assert(offsetof(MfxEvent, m_data2) == 11, "MfxEvent second data byte offset");

static_assert(sizeof(MfxData) == 8, "MfxData is an 8-byte record");
static_assert(offsetof(MfxData, m_time) == 0, "MfxData time offset");
static_assert(offsetof(MfxData, m_status) == 4, "MfxData status offset");
static_assert(offsetof(MfxData, m_data1) == 5, "MfxData first data byte offset");
static_assert(offsetof(MfxData, m_data2) == 6, "MfxData second data byte offset");
static_assert(offsetof(MfxData, m_extra) == 7, "MfxData carried byte offset");

// Values of MfxEvent::m_type that the filter looks at; every other type passes.
enum MfxEventType : LONG {
    MfxControllerEvent = 2,
    MfxChannelPressureEvent = 4,
};

// High nibbles of MfxData::m_status that the filter looks at.
enum MidiStatusKind : BYTE {
    MidiControlChange = 0xB0,
    MidiChannelPressure = 0xD0,
};

// ---- Host objects the filter calls ---------------------------------------------
// A negative result from any of these is a failure.

struct IMfxEventQueue : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Add(const MfxEvent* event) = 0;  // copies the record
    virtual HRESULT STDMETHODCALLTYPE GetCount(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAt(LONG index, MfxEvent* event) = 0;

protected:
    ~IMfxEventQueue() = default;
};

struct IMfxDataQueue : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Add(const MfxData* data) = 0;  // copies the record
    virtual HRESULT STDMETHODCALLTYPE GetCount(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAt(LONG index, MfxData* data) = 0;

protected:
    ~IMfxDataQueue() = default;
};

// ---- The interface the plug-in implements ----------------------------------------

// {8D7FDE01-1B1B-11D2-A8E0-0000A0090DAF}
inline constexpr IID IID_IMfxEventFilter = {
    0x8D7FDE01, 0x1B1B, 0x11D2, {0xA8, 0xE0, 0x00, 0x00, 0xA0, 0x09, 0x0D, 0xAF}};

struct IMfxEventFilter : IUnknown {
    // [host thread] The filter keeps no pointer to the context.
    virtual HRESULT STDMETHODCALLTYPE Connect(IUnknown* context) = 0;
    virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
    // [host thread] Transport notifications; the times are not read.
    virtual HRESULT STDMETHODCALLTYPE OnStart(LONG time) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnLoop(LONG timeRestart, LONG timeStop) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnStop(LONG time) = 0;
    // [host thread] One block of sequenced events; the times are not read.
    virtual HRESULT STDMETHODCALLTYPE OnEvents(LONG timeFrom, LONG timeThru, IMfxEventQueue* input,
                                               IMfxEventQueue* output) = 0;
    // [host thread] Live short messages from MIDI input.
    virtual HRESULT STDMETHODCALLTYPE OnInput(IMfxDataQueue* input, IMfxDataQueue* output) = 0;

protected:
    ~IMfxEventFilter() = default;
};
