// Hand-written stand-ins for the host's event and data queues: they serve a
// prepared list of records, record everything added, count their calls and
// fail on demand.
#pragma once

#include <functional>
#include <vector>

#include "filter/mfx.h"
#include "uncounted_object.h"

template <class QueueInterface, class Record>
class CFakeQueue final : public CUncountedObject<QueueInterface> {
public:
    explicit CFakeQueue(std::vector<Record> records = {}) : m_records(std::move(records)) {}

    HRESULT STDMETHODCALLTYPE Add(const Record* record) override {
        ++m_addCalls;
        if (m_addCalls == m_failAddCall) return E_FAIL;
        m_added.push_back(*record);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override {
        ++m_getCountCalls;
        if (m_failGetCount) {
            *count = 99;  // a failed call's count must not be trusted
            return E_FAIL;
        }
        *count = static_cast<LONG>(m_records.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAt(LONG index, Record* record) override {
        ++m_getAtCalls;
        if (m_onGetAt) m_onGetAt(index);
        if (index == m_failGetAtIndex || index < 0 || static_cast<size_t>(index) >= m_records.size())
            return E_FAIL;
        *record = m_records[static_cast<size_t>(index)];
        return S_OK;
    }

    std::vector<Record> m_records;  // what GetAt serves
    std::vector<Record> m_added;    // what Add received, in order
    bool m_failGetCount = false;
    LONG m_failGetAtIndex = -1;  // GetAt fails for this index
    int m_failAddCall = 0;       // the n-th Add (1-based) fails; 0 = none
    int m_addCalls = 0;
    int m_getCountCalls = 0;
    int m_getAtCalls = 0;
    std::function<void(LONG)> m_onGetAt;  // runs at the start of every GetAt
};

using CFakeEventQueue = CFakeQueue<IMfxEventQueue, MfxEvent>;
using CFakeDataQueue = CFakeQueue<IMfxDataQueue, MfxData>;
