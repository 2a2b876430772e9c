// Helpers shared by the Windows test programs: COM set-up, the module's path,
// a watcher that reads and closes message boxes, and streams that fail on
// demand.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include <objbase.h>

// COM for the calling thread, for the length of a test.
class CComApartment {
public:
    CComApartment() { m_result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~CComApartment() {
        if (SUCCEEDED(m_result)) CoUninitialize();
    }
    HRESULT Result() const { return m_result; }

private:
    HRESULT m_result;
};

// The module under test: QvMfxVeltrace.dll at the top of the build folder,
// two levels above the test programs.
inline std::string ModulePath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path);
    for (int up = 0; up < 3; ++up) folder.resize(folder.find_last_of('\\'));
    return folder + "\\QvMfxVeltrace.dll";
}

// Watches the calling thread for message boxes: records each box's text and
// presses OK, so code that shows one returns without a person.
class CMessageBoxWatcher {
public:
    CMessageBoxWatcher() {
        s_current = this;
        m_hook = SetWindowsHookExA(WH_CBT, &CMessageBoxWatcher::Hook, nullptr, GetCurrentThreadId());
    }
    ~CMessageBoxWatcher() {
        if (m_hook) UnhookWindowsHookEx(m_hook);
        s_current = nullptr;
    }
    bool Installed() const { return m_hook != nullptr; }
    const std::vector<std::string>& Texts() const { return m_texts; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_ACTIVATE && s_current != nullptr) {
            const HWND window = reinterpret_cast<HWND>(wParam);
            char className[32] = {};
            GetClassNameA(window, className, sizeof className);
            if (std::string(className) == "#32770") {
                char text[512] = {};
                GetDlgItemTextA(window, 0xFFFF, text, sizeof text);  // the box's static text
                s_current->m_texts.emplace_back(text);
                PostMessageA(window, WM_COMMAND, IDOK, 0);
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline CMessageBoxWatcher* s_current = nullptr;
    HHOOK m_hook = nullptr;
    std::vector<std::string> m_texts;
};

// A memory stream holding these bytes, positioned at the start.
inline IStream* StreamWith(const std::vector<BYTE>& bytes) {
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return nullptr;
    ULONG written = 0;
    if (!bytes.empty()) stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    return stream;
}

// Everything the stream holds, whatever its position; the position is kept.
inline std::vector<BYTE> StreamBytes(IStream* stream) {
    HGLOBAL memory = nullptr;
    if (FAILED(GetHGlobalFromStream(stream, &memory))) return {};
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    const BYTE* bytes = static_cast<const BYTE*>(GlobalLock(memory));
    std::vector<BYTE> result(bytes, bytes + stat.cbSize.QuadPart);
    GlobalUnlock(memory);
    return result;
}

inline ULONGLONG StreamPosition(IStream* stream) {
    LARGE_INTEGER zero = {};
    ULARGE_INTEGER position = {};
    stream->Seek(zero, STREAM_SEEK_CUR, &position);
    return position.QuadPart;
}

// An IStream over a memory stream whose n-th Read or Write fails with a
// chosen status. Only Read and Write are expected; the rest refuse.
class CFailingStream final : public IStream {
public:
    explicit CFailingStream(IStream* inner) : m_inner(inner) {}
    ~CFailingStream() { m_inner->Release(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refCount; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refCount; }  // lives on the test's stack

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override {
        if (++m_reads == m_failRead) return m_failStatus;
        return m_inner->Read(buffer, size, read);
    }
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG size, ULONG* written) override {
        if (++m_writes == m_failWrite) return m_failStatus;
        return m_inner->Write(buffer, size, written);
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return Unexpected(); }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return Unexpected(); }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return Unexpected();
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return Unexpected(); }
    HRESULT STDMETHODCALLTYPE Revert() override { return Unexpected(); }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return Unexpected(); }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return Unexpected(); }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return Unexpected(); }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return Unexpected(); }

    IStream* Inner() const { return m_inner; }
    int m_failRead = 0;   // 1-based; 0 = never
    int m_failWrite = 0;  // 1-based; 0 = never
    HRESULT m_failStatus = E_FAIL;
    int m_reads = 0;
    int m_writes = 0;
    int m_otherCalls = 0;

private:
    HRESULT Unexpected() {
        ++m_otherCalls;
        return E_NOTIMPL;
    }
    IStream* m_inner;
    ULONG m_refCount = 1;
};

// An object that only counts its references, to see who touches them.
class CCountingUnknown final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        ++m_queries;
        if (iid == IID_IUnknown) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refCount; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refCount; }
    ULONG m_refCount = 1;
    int m_queries = 0;
};

inline ULONG RefCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}
