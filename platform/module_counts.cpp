#include "platform/module_counts.h"

std::atomic<LONG> g_objectCount{0};
std::atomic<LONG> g_lockCount{0};
std::atomic<LONG> g_factoryAndPageCount{0};
