// lifecycle_baseline.dll: the least an in-process COM server with a property
// page does, built as QvMfxVeltrace.dll is (static C++ runtime, a manifest, a
// dialog of common controls, registered through the registry) but with none
// of its code. The lifecycle churn runs against both in one process: what this
// module's rounds cost is what Wine, COM, the controls and the runtime cost,
// and only what the plug-in costs beyond that is the plug-in's.
#include <windows.h>
#include <commctrl.h>
#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>

namespace __gnu_cxx {
void __freeres();  // the C++ runtime's exception reserve, freed at unload
}

namespace {

// {6B0D6F4E-3C1A-4F5B-9E27-1D4C8A90B311}, {6B0D6F4E-3C1A-4F5B-9E27-1D4C8A90B312}
constexpr CLSID kObjectClass = {0x6B0D6F4E, 0x3C1A, 0x4F5B, {0x9E, 0x27, 0x1D, 0x4C, 0x8A, 0x90, 0xB3, 0x11}};
constexpr CLSID kPageClass = {0x6B0D6F4E, 0x3C1A, 0x4F5B, {0x9E, 0x27, 0x1D, 0x4C, 0x8A, 0x90, 0xB3, 0x12}};
constexpr int kDialogId = 101;

HINSTANCE g_instance = nullptr;
std::atomic<long> g_alive{0};  // objects, factories and server locks

template <class Interface>
class CUnknown : public Interface {
public:
    CUnknown() { ++g_alive; }
    virtual ~CUnknown() { --g_alive; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = iid == IID_IUnknown || Answers(iid) ? static_cast<Interface*>(this) : nullptr;
        if (*object == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }

private:
    virtual bool Answers(REFIID iid) const = 0;
    std::atomic<ULONG> m_refs{1};
};

// An object with 64 bytes of settings it saves and loads.
class CObject final : public CUnknown<IPersistStream> {
    bool Answers(REFIID iid) const override { return iid == IID_IPersist || iid == IID_IPersistStream; }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override { return *id = kObjectClass, S_OK; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(IStream* stream) override { return stream->Read(m_settings, sizeof m_settings, nullptr); }
    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL) override { return stream->Write(m_settings, sizeof m_settings, nullptr); }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override { return size->QuadPart = sizeof m_settings, S_OK; }
    BYTE m_settings[64] = {};
};

INT_PTR CALLBACK MeasureOnly(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// A page: its dialog while active, the object it edits, its site.
class CPage final : public CUnknown<IPropertyPage> {
public:
    ~CPage() override {
        if (m_window != nullptr) DestroyWindow(m_window);
        if (m_site != nullptr) m_site->Release();
        if (m_object != nullptr) m_object->Release();
    }

private:
    bool Answers(REFIID iid) const override { return iid == IID_IPropertyPage; }
    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override {
        if (site != nullptr) site->AddRef();
        if (m_site != nullptr) m_site->Release();
        m_site = site;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL) override {
        const INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
        InitCommonControlsEx(&classes);
        m_window = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(kDialogId), parent, &CPage::Proc, reinterpret_cast<LPARAM>(this));
        if (m_window == nullptr) return E_FAIL;
        MoveWindow(m_window, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
        ShowWindow(m_window, SW_SHOW);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Deactivate() override {
        if (m_window != nullptr) DestroyWindow(m_window);
        m_window = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override {
        static const wchar_t title[] = L"Baseline";
        *info = {sizeof *info, static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof title)), {300, 380}, nullptr, nullptr, 0};
        if (info->pszTitle == nullptr) return E_OUTOFMEMORY;
        std::memcpy(info->pszTitle, title, sizeof title);
        const HWND measured = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(kDialogId), GetDesktopWindow(), &MeasureOnly, 0);
        RECT bounds = {};
        if (measured != nullptr && GetWindowRect(measured, &bounds))
            info->size = {bounds.right - bounds.left, bounds.bottom - bounds.top};
        if (measured != nullptr) DestroyWindow(measured);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override {
        if (m_object != nullptr) m_object->Release();
        m_object = nullptr;
        if (count > 0) objects[0]->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&m_object));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Show(UINT command) override { return ShowWindow(m_window, command), S_OK; }
    HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override {
        MoveWindow(m_window, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsPageDirty() override { return m_dirty ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE Apply() override { return m_dirty = false, S_OK; }
    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return S_FALSE; }

    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            for (int row = 0; row < 6; ++row) SendDlgItemMessageA(window, 1001 + 10 * row, TBM_SETRANGE, FALSE, MAKELPARAM(0, 127));
            return TRUE;
        }
        CPage* const page = reinterpret_cast<CPage*>(GetWindowLongPtrA(window, DWLP_USER));
        if (message != WM_HSCROLL || page == nullptr) return FALSE;
        page->m_dirty = true;
        if (page->m_site != nullptr) page->m_site->OnStatusChange(PROPPAGESTATUS_DIRTY);
        return TRUE;
    }

    HWND m_window = nullptr;
    IPropertyPageSite* m_site = nullptr;
    IPersistStream* m_object = nullptr;
    bool m_dirty = false;
};

template <class Object>
class CFactory final : public CUnknown<IClassFactory> {
    bool Answers(REFIID iid) const override { return iid == IID_IClassFactory; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        Object* const created = new (std::nothrow) Object;
        if (created == nullptr) return E_OUTOFMEMORY;
        const HRESULT result = created->QueryInterface(iid, object);
        created->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        g_alive += lock ? 1 : -1;
        return S_OK;
    }
};

template <class Object>
HRESULT HandOutFactory(REFIID iid, void** object) {
    CFactory<Object>* const factory = new (std::nothrow) CFactory<Object>;
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}

// "CLSID\{...}" for a class id, followed by `below`.
void ClassKey(REFCLSID id, const char* below, char (&key)[96]) {
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    std::snprintf(key, sizeof key, "CLSID\\%ls%s", text, below);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_instance = instance;
    if (reason == DLL_PROCESS_DETACH) __gnu_cxx::__freeres();
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID id, REFIID iid, void** object) {
    if (id == kObjectClass) return HandOutFactory<CObject>(iid, object);
    if (id == kPageClass) return HandOutFactory<CPage>(iid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return g_alive == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(g_instance, path, sizeof path);
    for (REFCLSID id : {kObjectClass, kPageClass}) {
        char key[96];
        ClassKey(id, "\\InprocServer32", key);
        HKEY server = nullptr;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &server, nullptr) != ERROR_SUCCESS)
            return SELFREG_E_CLASS;
        RegSetValueExA(server, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), static_cast<DWORD>(std::strlen(path) + 1));
        RegCloseKey(server);
    }
    return S_OK;
}

STDAPI DllUnregisterServer() {
    for (REFCLSID id : {kObjectClass, kPageClass}) {
        char key[96];
        ClassKey(id, "", key);
        RegDeleteTreeA(HKEY_CLASSES_ROOT, key);
    }
    return S_OK;
}
