// Registration: the module's two classes under HKEY_CLASSES_ROOT and the
// filter in the host's list of MIDI filters. Every text is 8-bit and every
// registry call the ANSI one. No failure is reported: each step goes on after
// a failed one, and both exports answer S_OK.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "filter/class_ids.h"
#include "platform/win_app.h"
#include "platform/win_handles.h"

namespace {

const char kClsidKey[] = "CLSID\\";
const char kInprocServer[] = "InprocServer32";
const char kMidiFiltersKey[] = "Software\\Cakewalk Music Software\\MIDI Filters";
const char kFilterName[] = "Quorvane Veltrace";
const char kPageName[] = "Quorvane Veltrace Property Page";

constexpr size_t kClassIdTextBytes = 128;
constexpr size_t kClassKeyBytes = 64;
constexpr size_t kFilterListKeyBytes = 256;
constexpr size_t kKeyPathBytes = 1024;
constexpr size_t kModulePathBytes = MAX_PATH;
constexpr size_t kSubkeyNameBytes = 256;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" as the system spells it. False
// only when the system has no memory for the text; then no key can be named.
bool ClassIdText(REFCLSID classId, char (&text)[kClassIdTextBytes]) {
    CTaskMemPtr<OLECHAR> wide;
    if (FAILED(StringFromCLSID(classId, wide.Receive())) || wide.Get() == nullptr) return false;
    const size_t length = std::wcstombs(text, wide.Get(), sizeof text - 1);
    if (length == static_cast<size_t>(-1)) return false;
    text[length] = '\0';
    return true;
}

// Creates or opens root\path[\subkey] and, if a value is given, sets the
// key's default value to it.
void WriteKeyDefault(HKEY root, const char* path, const char* subkey, const char* value) {
    char fullPath[kKeyPathBytes];
    if (subkey != nullptr)
        std::snprintf(fullPath, sizeof fullPath, "%s\\%s", path, subkey);
    else
        std::snprintf(fullPath, sizeof fullPath, "%s", path);

    CRegKey key;
    if (RegCreateKeyExA(root, fullPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.Receive(),
                        nullptr) != ERROR_SUCCESS)
        return;
    if (value != nullptr)
        RegSetValueExA(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>(std::strlen(value) + 1));
}

// Deletes parent\name with everything below it. A subkey that cannot be
// deleted is stepped over, so the walk always ends.
void DeleteKeyTree(HKEY parent, const char* name) {
    CRegKey key;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, key.Receive()) == ERROR_SUCCESS) {
        DWORD index = 0;  // subkeys before it could not be deleted
        for (;;) {
            char subkey[kSubkeyNameBytes];
            DWORD size = sizeof subkey;
            FILETIME written;
            if (RegEnumKeyExA(key.Get(), index, subkey, &size, nullptr, nullptr, nullptr, &written) != ERROR_SUCCESS)
                break;
            DeleteKeyTree(key.Get(), subkey);
            // Still listed in the same place: it could not be deleted (it may
            // not even open, like a dangling link), so step past it.
            char next[kSubkeyNameBytes];
            size = sizeof next;
            if (RegEnumKeyExA(key.Get(), index, next, &size, nullptr, nullptr, nullptr, &written) == ERROR_SUCCESS &&
                std::strcmp(next, subkey) == 0)
                ++index;
        }
    }
    key.Close();
    RegDeleteKeyA(parent, name);
}

void RegisterClassKeys(REFCLSID classId, const char* friendlyName) {
    char modulePath[kModulePathBytes] = {};
    GetModuleFileNameA(ModuleInstanceHandle(), modulePath, sizeof modulePath);
    char classIdText[kClassIdTextBytes];
    if (!ClassIdText(classId, classIdText)) return;
    char key[kClassKeyBytes];
    std::snprintf(key, sizeof key, "%s%s", kClsidKey, classIdText);
    WriteKeyDefault(HKEY_CLASSES_ROOT, key, nullptr, friendlyName);
    WriteKeyDefault(HKEY_CLASSES_ROOT, key, kInprocServer, modulePath);
}

void UnregisterClassKeys(REFCLSID classId) {
    char classIdText[kClassIdTextBytes];
    if (!ClassIdText(classId, classIdText)) return;
    char key[kClassKeyBytes];
    std::snprintf(key, sizeof key, "%s%s", kClsidKey, classIdText);
    DeleteKeyTree(HKEY_CLASSES_ROOT, key);
}

// "Software\Cakewalk Music Software\MIDI Filters\{filter class id}"
bool FilterListKey(char (&path)[kFilterListKeyBytes]) {
    char classIdText[kClassIdTextBytes];
    if (!ClassIdText(CLSID_VeltraceFilter, classIdText)) return false;
    std::snprintf(path, sizeof path, "%s\\%s", kMidiFiltersKey, classIdText);
    return true;
}

}  // namespace

STDAPI DllRegisterServer() {
    RegisterClassKeys(CLSID_VeltraceFilter, kFilterName);
    RegisterClassKeys(CLSID_VeltracePropPage, kPageName);
    char path[kFilterListKeyBytes];
    if (FilterListKey(path)) WriteKeyDefault(HKEY_LOCAL_MACHINE, path, nullptr, nullptr);
    return S_OK;
}

STDAPI DllUnregisterServer() {
    UnregisterClassKeys(CLSID_VeltraceFilter);
    UnregisterClassKeys(CLSID_VeltracePropPage);
    char path[kFilterListKeyBytes];
    if (FilterListKey(path)) DeleteKeyTree(HKEY_LOCAL_MACHINE, path);
    return S_OK;
}
