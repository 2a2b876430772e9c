// Registration through Wine's own regsvr32, read back from the registry, and
// the registered module used the way a host uses it: created by COM through
// the registry, its settings saved and loaded by OLE, and unloaded when done.
#include <cstring>
#include <optional>

#include "filter/class_ids.h"
#include "filter/mfx.h"
#include "platform/win_handles.h"
#include "tests/core/golden_settings.h"
#include "import_patch.h"
#include "win_test_support.h"

namespace {

const std::string kFilterKey = "CLSID\\{B825E09A-8C89-BEAF-909D-943841C6A565}";
const std::string kPageKey = "CLSID\\{4E8CB489-170B-BEAF-8E69-5A0C5D01924C}";
const std::string kFilterList = "Software\\Cakewalk Music Software\\MIDI Filters";
const std::string kFilterListEntry = kFilterList + "\\{B825E09A-8C89-BEAF-909D-943841C6A565}";

struct ProcessResult {
    bool finished;
    DWORD exitCode;
};

ProcessResult Run(std::string commandLine, DWORD timeoutMs = 30000) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return {false, GetLastError()};
    const bool finished = WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0;
    DWORD exitCode = 0;
    if (finished)
        GetExitCodeProcess(process.hProcess, &exitCode);
    else
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return {finished, exitCode};
}

ProcessResult Regsvr32(const char* options) { return Run(std::string("regsvr32.exe ") + options + " \"" + ModulePath() + "\""); }

bool KeyExists(HKEY root, const std::string& path) {
    CRegKey key;
    return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

// A key's default value, if it is a string stored with exactly one
// terminating NUL; a string stored without one reads as a note saying so.
std::optional<std::string> DefaultValue(HKEY root, const std::string& path) {
    CRegKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return std::nullopt;
    char text[1024] = {};
    DWORD size = sizeof text - 1, type = 0;
    if (RegQueryValueExA(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    if (size != std::strlen(text) + 1) return "(" + std::to_string(size) + " bytes stored for: " + text + ")";
    return std::string(text);
}

// Values and subkeys of a key, or -1 each when it does not open.
std::pair<int, int> Contents(HKEY root, const std::string& path) {
    CRegKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return {-1, -1};
    DWORD subkeys = 0, values = 0;
    RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    return {static_cast<int>(values), static_cast<int>(subkeys)};
}

// Creates root\path if need be and sets one of its string values (null name: the default).
void SetText(HKEY root, const std::string& path, const char* name, const char* text) {
    CRegKey key;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(std::strlen(text) + 1));
}

bool SameText(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

void ExpectRegistered() {
    EXPECT_EQ(DefaultValue(HKEY_CLASSES_ROOT, kFilterKey), "Quorvane Veltrace");
    EXPECT_EQ(DefaultValue(HKEY_CLASSES_ROOT, kPageKey), "Quorvane Veltrace Property Page");
    for (const std::string& key : {kFilterKey, kPageKey}) {
        const auto path = DefaultValue(HKEY_CLASSES_ROOT, key + "\\InprocServer32");
        ASSERT_TRUE(path.has_value()) << key;
        EXPECT_TRUE(SameText(*path, ModulePath())) << *path;
        EXPECT_EQ(Contents(HKEY_CLASSES_ROOT, key), std::make_pair(1, 1)) << "the name and InprocServer32 only";
        EXPECT_EQ(Contents(HKEY_CLASSES_ROOT, key + "\\InprocServer32"), std::make_pair(1, 0))
            << "no threading model, nothing else";
    }
    EXPECT_EQ(Contents(HKEY_LOCAL_MACHINE, kFilterListEntry), std::make_pair(0, 0)) << "created empty";
}

void ExpectUnregistered() {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kFilterKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kPageKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kFilterListEntry));
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(m_com.Result());
        const ProcessResult result = Regsvr32("/s /u");  // start from nothing
        ASSERT_TRUE(result.finished);
        ExpectUnregistered();
    }
    void TearDown() override {
        Regsvr32("/s /u");
        ExpectUnregistered();
    }
    CComApartment m_com;
};

}  // namespace

TEST_F(Registration, WritesTheFiveRowsAndNothingElse) {
    const ProcessResult result = Regsvr32("/s");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    ExpectRegistered();
}

TEST_F(Registration, RegisteringTwiceLeavesTheSameRows) {
    ASSERT_EQ(Regsvr32("/s").exitCode, 0u);
    // A stale path, as after the module file moved.
    SetText(HKEY_CLASSES_ROOT, kFilterKey + "\\InprocServer32", nullptr, "C:\\old\\QvMfxVeltrace.dll");
    ASSERT_EQ(Regsvr32("/s").exitCode, 0u);
    ExpectRegistered();
}

namespace {

// What the module hands RegSetValueExA: the text and the byte count it gives.
std::vector<std::pair<std::string, DWORD>> g_valuesSet;
decltype(&RegSetValueExA) g_realSetValue = nullptr;

LONG WINAPI RecordSetValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
    const char* text = reinterpret_cast<const char*>(data);
    g_valuesSet.emplace_back(std::string(text, strnlen(text, size)), size);
    return g_realSetValue(key, name, reserved, type, data, size);
}

}  // namespace

TEST_F(Registration, EveryTextIsHandedOverWithItsTerminatingNul) {
    // The registry here adds a missing NUL by itself, so the call is watched
    // instead: the size given must be the text's length plus one.
    CLoadedModule module;
    ASSERT_TRUE(module.Loaded());
    CImportPatch patch(module.Handle(), "advapi32.dll", "RegSetValueExA", reinterpret_cast<void*>(&RecordSetValue));
    ASSERT_TRUE(patch.Applied());
    g_realSetValue = reinterpret_cast<decltype(&RegSetValueExA)>(patch.Original());
    g_valuesSet.clear();
    ASSERT_EQ(module.CallExport("DllRegisterServer"), S_OK);
    ASSERT_EQ(g_valuesSet.size(), 4u) << "two names and two paths";
    for (const auto& [text, size] : g_valuesSet) EXPECT_EQ(size, text.size() + 1) << text;
}

TEST_F(Registration, UnregisteringRemovesEverythingBelowOurKeys) {
    ASSERT_EQ(Regsvr32("/s").exitCode, 0u);
    // What others may add below our keys.
    SetText(HKEY_CLASSES_ROOT, kFilterKey + "\\InprocServer32", "ThreadingModel", "Both");
    SetText(HKEY_LOCAL_MACHINE, kFilterListEntry + "\\Extra\\Deeper", "Note", "Both");
    const ProcessResult result = Regsvr32("/s /u");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    ExpectUnregistered();
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kFilterList)) << "the host's list itself stays";
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
}

TEST_F(Registration, UnregisteringWhatIsNotRegistered) {
    const ProcessResult result = Regsvr32("/s /u");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    ExpectUnregistered();
}

TEST_F(Registration, SubkeyThatCannotBeDeletedDoesNotHang) {
    ASSERT_EQ(Regsvr32("/s").exitCode, 0u);
    // A symbolic link to a key that does not exist: enumeration lists it, but
    // opening or deleting it by name follows the link and fails. Its name
    // sorts first, before several keys that can go at the same level.
    const std::string locked = kFilterKey + "\\ALocked";
    for (const char* extra : {"\\Extra1", "\\Extra2", "\\Extra3\\Deeper"})
        SetText(HKEY_CLASSES_ROOT, kFilterKey + extra, nullptr, "x");
    {
        CRegKey link;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, locked.c_str(), 0, nullptr,
                                  REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS, nullptr, link.Receive(),
                                  nullptr),
                  ERROR_SUCCESS);
        const wchar_t target[] = L"\\Registry\\Machine\\Software\\VeltraceNowhere";
        ASSERT_EQ(RegSetValueExW(link.Get(), L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target),
                                 sizeof target - sizeof(wchar_t)),
                  ERROR_SUCCESS);
    }
    ASSERT_NE(RegDeleteKeyA(HKEY_CLASSES_ROOT, locked.c_str()), ERROR_SUCCESS) << "the link must resist deletion";
    ASSERT_EQ(Contents(HKEY_CLASSES_ROOT, kFilterKey).second, 5) << "the link, three extras and InprocServer32";

    const ProcessResult result = Regsvr32("/s /u");
    EXPECT_TRUE(result.finished) << "DllUnregisterServer did not come back";
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(Contents(HKEY_CLASSES_ROOT, kFilterKey), std::make_pair(1, 1)) << "only the link is left below";
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kFilterKey + "\\InprocServer32")) << "its siblings still went";
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kPageKey)) << "the rest of unregistration went on";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kFilterListEntry));

    {
        CRegKey link;  // remove the link itself, then our key
        ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, locked.c_str(), REG_OPTION_OPEN_LINK, DELETE, link.Receive()),
                  ERROR_SUCCESS);
        using DeleteKeyFunction = LONG(WINAPI*)(HANDLE);
        const auto deleteKey = reinterpret_cast<DeleteKeyFunction>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey")));
        ASSERT_NE(deleteKey, nullptr);
        EXPECT_EQ(deleteKey(link.Get()), 0);
    }
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, kFilterKey.c_str()), ERROR_SUCCESS);
}

TEST_F(Registration, HostCreatesThroughTheRegistryAndOleRoundTripsSettings) {
    IPersistStream* persist = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_VeltraceFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistStream,
                               reinterpret_cast<void**>(&persist)),
              REGDB_E_CLASSNOTREG);
    ASSERT_EQ(Regsvr32("/s").exitCode, 0u);
    ASSERT_EQ(CoCreateInstance(CLSID_VeltraceFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistStream,
                               reinterpret_cast<void**>(&persist)),
              S_OK);

    std::vector<BYTE> settings = kDefaultSettingsStream;
    for (size_t cell = 0; cell < 12; ++cell) SetStreamCell(settings, cell, static_cast<std::uint32_t>(cell * 3 + 1));
    IStream* source = StreamWith(settings);
    ASSERT_EQ(persist->Load(source), S_OK);
    source->Release();

    IStream* project = StreamWith({});
    ASSERT_EQ(OleSaveToStream(persist, project), S_OK);
    const std::vector<BYTE> saved = StreamBytes(project);
    ASSERT_EQ(saved.size(), 16u + 64u) << "the class id, then our 64 bytes";
    EXPECT_EQ(std::memcmp(saved.data(), &CLSID_VeltraceFilter, 16), 0);
    EXPECT_TRUE(std::equal(settings.begin(), settings.end(), saved.begin() + 16));
    persist->Release();

    LARGE_INTEGER start = {};
    project->Seek(start, STREAM_SEEK_SET, nullptr);
    IMfxEventFilter* restored = nullptr;
    ASSERT_EQ(OleLoadFromStream(project, IID_IMfxEventFilter, reinterpret_cast<void**>(&restored)), S_OK);
    project->Release();
    IPersistStream* restoredPersist = nullptr;
    ASSERT_EQ(restored->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&restoredPersist)), S_OK);
    IStream* check = StreamWith({});
    EXPECT_EQ(restoredPersist->Save(check, TRUE), S_OK);
    EXPECT_EQ(StreamBytes(check), settings);
    check->Release();
    restoredPersist->Release();
    EXPECT_EQ(restored->Release(), 0u);

    ASSERT_NE(GetModuleHandleA("QvMfxVeltrace.dll"), nullptr);
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_EQ(GetModuleHandleA("QvMfxVeltrace.dll"), nullptr) << "nothing alive: COM unloads the module";
}
