// The saver's own resource table, as the build compiles it from
// resources/saver.rc, for tests that run the saver's dialogs and strings.
// Test binaries do not link the table itself (it would register before
// main); a test installs these rows with ScopedExecutableResources.
#pragma once

#include <vector>

#include "platform/win32/rc_table.h"

namespace tessaloom::testing {
std::vector<ResourceTableEntry> SaverResourceEntries();
}  // namespace tessaloom::testing
