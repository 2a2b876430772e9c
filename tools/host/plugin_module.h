// A plug-in's binary loaded into the tool: dlopen on Linux, LoadLibrary on
// Windows, unloaded when this goes. Portable.
#pragma once

#include <string>

class CPluginModule {
public:
    // Throws InputError naming the file and why it did not load.
    explicit CPluginModule(const std::string& path);
    ~CPluginModule();
    CPluginModule(const CPluginModule&) = delete;
    CPluginModule& operator=(const CPluginModule&) = delete;

    // An exported symbol, or null.
    void* Symbol(const char* name) const;
    void* Handle() const { return m_handle; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    void* m_handle = nullptr;
};
