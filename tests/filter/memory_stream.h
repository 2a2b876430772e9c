// A sequential stream over a byte vector that records its calls and fails on
// demand: the n-th Read or Write returns a chosen status.
#pragma once

#include <algorithm>
#include <vector>

#include "platform/com_base.h"
#include "uncounted_object.h"

class CMemoryStream final : public CUncountedObject<ISequentialStream> {
public:
    explicit CMemoryStream(std::vector<BYTE> bytes = {}) : m_bytes(std::move(bytes)) {}

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG byteCount, ULONG* bytesRead) override {
        ++m_reads;
        if (m_reads == m_failRead && !m_failedReadDelivers) return m_failStatus;
        const size_t available = m_bytes.size() - std::min(m_position, m_bytes.size());
        const ULONG count = static_cast<ULONG>(std::min<size_t>(byteCount, available));
        std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_position), count, static_cast<BYTE*>(buffer));
        m_position += count;
        if (bytesRead) *bytesRead = count;
        if (m_reads == m_failRead) return m_failStatus;
        return count < byteCount ? m_shortReadStatus : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG byteCount, ULONG* bytesWritten) override {
        ++m_writes;
        if (m_writes == m_failWrite) return m_failStatus;
        const BYTE* bytes = static_cast<const BYTE*>(buffer);
        if (m_bytes.size() < m_position + byteCount) m_bytes.resize(m_position + byteCount);
        std::copy_n(bytes, byteCount, m_bytes.begin() + static_cast<std::ptrdiff_t>(m_position));
        m_position += byteCount;
        if (bytesWritten) *bytesWritten = byteCount;
        return S_OK;
    }

    std::vector<BYTE> m_bytes;
    size_t m_position = 0;
    int m_reads = 0;
    int m_writes = 0;
    int m_failRead = 0;   // 1-based; 0 = never
    int m_failWrite = 0;  // 1-based; 0 = never
    HRESULT m_failStatus = E_FAIL;
    bool m_failedReadDelivers = false;  // the failing Read still delivers its bytes, then answers m_failStatus
    HRESULT m_shortReadStatus = S_FALSE;  // what a read that runs out answers; some streams say S_OK
};
