// The filter's own VST3 objects in front of DPF's: each a C-style object
// whose first word points to its function table (FUnknown's, then its
// interface's), as VST3 lays objects out. Portable between Linux and
// Windows with DPF's declarations (travesty).
#pragma once

#include <cstring>

#include "travesty/base.h"

inline bool SameId(const v3_tuid a, const v3_tuid b) { return std::memcmp(a, b, sizeof(v3_tuid)) == 0; }

// One interface of `Owner`: its table, and the owner the table's functions
// find again from the object pointer they are called with.
template <class Owner, class Table>
class CVst3Face {
public:
    CVst3Face(Owner* owner, const Table& functions) : m_table{functions, owner} {}
    CVst3Face(const CVst3Face&) = delete;
    CVst3Face& operator=(const CVst3Face&) = delete;

    void** Object() { return reinterpret_cast<void**>(&m_self); }
    static Owner& Of(void* self) { return *(*static_cast<Entry**>(self))->owner; }

private:
    struct Entry {
        Table functions;
        Owner* owner;
    };
    Entry m_table;
    Entry* m_self = &m_table;
};

// The interface's functions of a DPF object or a host's, through its pointer.
template <class Interface>
Interface* Functions(void* object) {
    return v3_cpp_obj(static_cast<Interface**>(object));
}

inline void ReleaseObject(void* object) {
    if (object != nullptr) (*static_cast<v3_funknown**>(object))->unref(object);
}

template <class Interface>
Interface** QueryObject(void* object, const v3_tuid& iid) {
    void* found = nullptr;
    if (object == nullptr || (*static_cast<v3_funknown**>(object))->query_interface(object, iid, &found) != V3_OK)
        return nullptr;
    return static_cast<Interface**>(found);
}
