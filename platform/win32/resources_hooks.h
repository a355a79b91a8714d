// Test interface of the resource stand-in: give a test its own executable
// table, and point module loading at a folder of its own.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/rc_table.h"

namespace tessaloom::testing {

// Swaps the executable's table for `entries` while the object lives, then puts
// the previous table back.  Test binaries do not link the saver's table, so a
// test of resource lookup sees only what it registers here.
class ScopedExecutableResources {
public:
    explicit ScopedExecutableResources(std::vector<ResourceTableEntry> entries);
    ~ScopedExecutableResources();
    ScopedExecutableResources(const ScopedExecutableResources&) = delete;
    ScopedExecutableResources& operator=(const ScopedExecutableResources&) = delete;

private:
    std::vector<ResourceTableEntry> entries_;
    const ResourceTableEntry* previous_;
    size_t previousCount_;
};

// LoadLibraryW looks for container files in this folder instead of the one
// beside the executable; an empty string restores the default.  The
// environment variable TESSALOOM_MODULE_DIR does the same for a whole run.
void SetModuleFolder(const std::string& folder);

}  // namespace tessaloom::testing
