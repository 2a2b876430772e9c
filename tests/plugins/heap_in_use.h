// How much memory the program holds for its heap at the moment, a plug-in
// loaded into it included: on Linux the bytes the allocator in use (the
// sanitizers' or glibc's) has handed out; on Windows, where a plug-in's
// runtime keeps heaps of its own, the process's private memory, in pages;
// -1 under Wine, which does not count it.
#pragma once

long long HeapInUse();

// The growth a test lets pass as no leak: a few bytes on Linux; on Windows
// less than a whole instance's memory (a lost instance shows, a lost small
// block does not: the Linux runs see those).
#ifdef _WIN32
constexpr long long kHeapNoise = 4 << 20;
#else
constexpr long long kHeapNoise = 64 << 10;
#endif
