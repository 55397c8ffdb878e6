#pragma once

#include <string>

// Reads a .lnk file back through the platform's link object. Empty strings
// when it cannot be loaded. COM must be initialised on the calling thread.
struct ShellLinkFields {
    bool loaded = false;
    std::string target;
    std::string description;
};
ShellLinkFields ReadShellLink(const std::string& path);
