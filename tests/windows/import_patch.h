// Replaces a function that a loaded module imports by name, in that module's
// import table, for as long as the patch lives: the module's own calls go to
// the replacement, everyone else's to the real function. Lets a test watch
// or fail what the shipped module asks of the system without rebuilding it.
#pragma once

#include <windows.h>

#include <cstring>

class CImportPatch {
public:
    CImportPatch(HMODULE module, const char* dll, const char* function, void* replacement) {
        auto* const base = reinterpret_cast<BYTE*>(module);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (imports.VirtualAddress == 0) return;
        for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name != 0;
             ++entry) {
            if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
            auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
                m_slot = reinterpret_cast<void**>(&slots->u1.Function);
                m_original = *m_slot;
                Write(replacement);
                return;
            }
        }
    }
    ~CImportPatch() {
        if (m_slot != nullptr) Write(m_original);
    }
    CImportPatch(const CImportPatch&) = delete;
    CImportPatch& operator=(const CImportPatch&) = delete;

    bool Applied() const { return m_slot != nullptr; }
    void* Original() const { return m_original; }

private:
    void Write(void* target) {
        DWORD protection = 0;
        VirtualProtect(m_slot, sizeof(void*), PAGE_READWRITE, &protection);
        *m_slot = target;
        VirtualProtect(m_slot, sizeof(void*), protection, &protection);
    }
    void** m_slot = nullptr;
    void* m_original = nullptr;
};
