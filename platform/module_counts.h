// What keeps the module loaded: live filters, server locks, and the live
// class factories and property pages that the host still holds. All change
// only atomically; DllCanUnloadNow reads them.
#pragma once

#include <atomic>

#include "platform/com_base.h"

extern std::atomic<LONG> g_objectCount;          // live filter objects
extern std::atomic<LONG> g_lockCount;            // LockServer; may go below zero
extern std::atomic<LONG> g_factoryAndPageCount;  // live class factories and property pages

// Counts an object in one module counter for exactly as long as any of it
// exists. Make it the object's first base: it is then built before anything
// else of the object and destroyed after everything else, so the module never
// answers "may unload" while a destructor of the object still has to run.
template <std::atomic<LONG>& Counter>
class CModuleCounted {
protected:
    CModuleCounted() { Counter.fetch_add(1); }
    ~CModuleCounted() { Counter.fetch_sub(1); }
    CModuleCounted(const CModuleCounted&) = delete;
    CModuleCounted& operator=(const CModuleCounted&) = delete;
};
