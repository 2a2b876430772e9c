// page_snapshot OUTPUT.bmp MODULE.dll: opens the module's property page on a
// filter of the same module, with a few settings loaded the way a host
// restores a project, and writes what the page shows as a 24-bit BMP. The
// picture in README.md is made this way (make picture).
#include <cstdint>
#include <cstdio>
#include <vector>

#include <windows.h>
#include <ocidl.h>

#include "filter/class_ids.h"
#include "filter/mfx.h"
#include "midi/settings_file.h"

namespace {

// Master CC 11, modifier channel pressure, amount 70, low 10, high 110, Rel64;
// assignments left off but for the amount's, on controller 20.
const SettingsCells kShownCells = {11, 0, 70, 10, 110, 2, 128, 128, 20, 128, 128, 128};

int Fail(const char* what) {
    std::fprintf(stderr, "page_snapshot: %s\n", what);
    return 1;
}

template <class Interface>
Interface* Create(HMODULE module, REFCLSID classId, REFIID iid) {
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    if (getClassObject == nullptr || FAILED(getClassObject(classId, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return nullptr;
    Interface* object = nullptr;
    factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
    factory->Release();
    return object;
}

bool LoadSettings(IMfxEventFilter* filter) {
    const std::vector<std::uint8_t> bytes = WriteSettingsStream(kShownCells);
    IStream* stream = nullptr;
    IPersistStream* persist = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return false;
    ULONG written = 0;
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    const LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    const bool loaded = SUCCEEDED(filter->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist))) &&
                        SUCCEEDED(persist->Load(stream));
    if (persist) persist->Release();
    stream->Release();
    return loaded;
}

void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

// The window as it is on screen, children included, as a bottom-up BMP.
bool WriteBitmap(HWND window, const char* path) {
    RECT bounds;
    GetWindowRect(window, &bounds);
    const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    const HDC source = GetWindowDC(window);
    const HDC memory = CreateCompatibleDC(source);
    const HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    SelectObject(memory, previous);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;  // bottom-up
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<BYTE> pixels(static_cast<size_t>(stride) * height);
    const bool read = GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                                DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
    if (!read) return false;

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = std::fopen(path, "wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
                         std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
    return std::fclose(out) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return Fail("usage: page_snapshot OUTPUT.bmp MODULE.dll");
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Fail("COM did not start");
    const HMODULE module = LoadLibraryA(argv[2]);
    if (module == nullptr) return Fail("the module could not be loaded");
    IMfxEventFilter* const filter = Create<IMfxEventFilter>(module, CLSID_VeltraceFilter, IID_IMfxEventFilter);
    IPropertyPage* const page = Create<IPropertyPage>(module, CLSID_VeltracePropPage, IID_IPropertyPage);
    if (filter == nullptr || page == nullptr) return Fail("the module made no filter or page");
    if (!LoadSettings(filter)) return Fail("the settings did not load");

    PROPPAGEINFO info = {};
    if (FAILED(page->GetPageInfo(&info))) return Fail("no page information");
    CoTaskMemFree(info.pszTitle);
    const HWND frame = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 40, 40, info.size.cx, info.size.cy,
                                       nullptr, nullptr, nullptr, nullptr);
    IUnknown* objects[] = {filter};
    const RECT rect = {0, 0, info.size.cx, info.size.cy};
    if (FAILED(page->SetObjects(1, objects)) || FAILED(page->Activate(frame, &rect, TRUE)))
        return Fail("the page did not open");
    const HWND window = FindWindowExA(frame, nullptr, "#32770", nullptr);
    SetFocus(frame);  // no focus rectangle on the picture
    RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump();
    Sleep(200);
    Pump();
    const bool written = window != nullptr && WriteBitmap(window, argv[1]);

    page->Deactivate();
    page->Release();
    filter->Release();
    DestroyWindow(frame);
    CoUninitialize();
    return written ? 0 : Fail("the picture could not be written");
}
