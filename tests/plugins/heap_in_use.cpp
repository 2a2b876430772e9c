#include "tests/plugins/heap_in_use.h"

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#elif defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#include <cstddef>
// The sanitizers' runtime answers this (their header is not always there).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

long long HeapInUse() {
#if defined(_WIN32)
    // Wine's counters stand still (and its files are opened by its server,
    // so the process cannot read its own /proc entry): not measurable there.
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr) return -1;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return static_cast<long long>(counters.PrivateUsage);
#elif defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
#endif
}
