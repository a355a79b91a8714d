// The generated table of the saver's resources, compiled here without the
// registration it carries: the rows are handed out instead.
#include "tests/support/saver_resources.h"

#include <iterator>

namespace tessaloom {
// Stands in for ExecutableResourceRegistration in the generated source.
struct TableWithoutRegistration {
    TableWithoutRegistration(const ResourceTableEntry*, size_t) {}
};
}  // namespace tessaloom

#define ExecutableResourceRegistration TableWithoutRegistration
#include TESSALOOM_EXE_RESOURCES_SOURCE
#undef ExecutableResourceRegistration

namespace tessaloom::testing {
std::vector<ResourceTableEntry> SaverResourceEntries() { return {std::begin(kEntries), std::end(kEntries)}; }
}  // namespace tessaloom::testing
