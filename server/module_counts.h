// What keeps the module loaded: live filters, server locks, and the live
// class factories and property pages that the host still holds. All change
// only atomically; DllCanUnloadNow reads them.
#pragma once

#include <atomic>

#include "platform/com_base.h"

extern std::atomic<LONG> g_objectCount;          // live filter objects
extern std::atomic<LONG> g_lockCount;            // LockServer; may go below zero
extern std::atomic<LONG> g_factoryAndPageCount;  // live class factories and property pages

// Counts one factory or page for as long as it lives.
class CModuleReference {
public:
    CModuleReference() { g_factoryAndPageCount.fetch_add(1); }
    ~CModuleReference() { g_factoryAndPageCount.fetch_sub(1); }
    CModuleReference(const CModuleReference&) = delete;
    CModuleReference& operator=(const CModuleReference&) = delete;
};
