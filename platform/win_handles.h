// Owners for the Windows resources the module holds for a moment: an open
// registry key and a block from the COM task allocator.
#pragma once

#include "platform/com_base.h"

class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    HKEY Get() const { return m_key; }
    HKEY* Receive() {  // for an API that opens a key into an out parameter
        Close();
        return &m_key;
    }
    void Close() {
        if (m_key != nullptr) RegCloseKey(m_key);
        m_key = nullptr;
    }

private:
    HKEY m_key = nullptr;
};

template <class T>
class CTaskMemPtr {
public:
    CTaskMemPtr() = default;
    ~CTaskMemPtr() { CoTaskMemFree(m_block); }
    CTaskMemPtr(const CTaskMemPtr&) = delete;
    CTaskMemPtr& operator=(const CTaskMemPtr&) = delete;

    T* Get() const { return m_block; }
    T** Receive() {
        CoTaskMemFree(m_block);
        m_block = nullptr;
        return &m_block;
    }

private:
    T* m_block = nullptr;
};
