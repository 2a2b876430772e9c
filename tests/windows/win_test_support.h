// Helpers shared by the Windows test programs: COM set-up, the module's path,
// a watcher that reads and closes message boxes, and streams that fail on
// demand.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include <objbase.h>

// A crash ends the test program at once with a line saying what happened,
// instead of waiting for a debugger that no one will attach.
inline LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
    std::fprintf(stderr, "CRASH: exception 0x%08lx at %p\n", exception->ExceptionRecord->ExceptionCode,
                 exception->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 0xC0DE);
    return EXCEPTION_EXECUTE_HANDLER;
}
inline const LPTOP_LEVEL_EXCEPTION_FILTER kCrashReportInstalled = SetUnhandledExceptionFilter(&ReportCrash);

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

// The built module loaded as the COM runtime loads it, with its two exports
// for objects.
// Takes this thread's waiting messages, at most `limit` of them: another
// thread may keep adding.
inline void PumpMessages(int limit) {
    MSG message;
    for (int taken = 0; taken < limit && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++taken)
        DispatchMessageA(&message);
}

class CLoadedModule {
public:
    using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

    explicit CLoadedModule(const std::string& path = ModulePath()) : m_module(LoadLibraryA(path.c_str())) {
        if (m_module == nullptr) return;
        m_getClassObject = reinterpret_cast<GetClassObjectFunction>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "DllGetClassObject")));
        m_canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "DllCanUnloadNow")));
    }
    ~CLoadedModule() {
        if (m_module) FreeLibrary(m_module);
    }
    CLoadedModule(const CLoadedModule&) = delete;
    CLoadedModule& operator=(const CLoadedModule&) = delete;

    bool Loaded() const { return m_getClassObject != nullptr && m_canUnloadNow != nullptr; }
    HMODULE Handle() const { return m_module; }
    HRESULT GetClassObject(REFCLSID classId, REFIID iid, void** object) const {
        return m_getClassObject(classId, iid, object);
    }
    HRESULT CanUnloadNow() const { return m_canUnloadNow(); }
    // An export without arguments (DllRegisterServer, DllUnregisterServer);
    // E_FAIL when the module has none of that name.
    HRESULT CallExport(const char* name) const {
        using ExportFunction = HRESULT(STDAPICALLTYPE*)();
        const auto function = reinterpret_cast<ExportFunction>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
        return function ? function() : E_FAIL;
    }

    // A new object of a class the module serves, through its factory; null
    // when it could not be made.
    template <class Interface>
    Interface* Create(REFCLSID classId, REFIID iid) const {
        IClassFactory* factory = nullptr;
        if (FAILED(GetClassObject(classId, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return nullptr;
        Interface* object = nullptr;
        factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
        factory->Release();
        return object;
    }

private:
    HMODULE m_module;
    GetClassObjectFunction m_getClassObject = nullptr;
    CanUnloadNowFunction m_canUnloadNow = nullptr;
};

inline ULONG RefCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}
