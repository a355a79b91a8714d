#include "platform/com/cocreate.h"

#include <map>
#include <mutex>

namespace tessaloom::com {
namespace {

struct ClassTable {
    std::mutex mutex;
    std::map<CLSID, ClassCreator> creators;
};

// Built on first use, so registrations from other files' static initialisers
// find it whatever the initialisation order.
ClassTable& Table() {
    static ClassTable table;
    return table;
}

}  // namespace

void RegisterClassCreator(REFCLSID clsid, ClassCreator creator) {
    ClassTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.creators[clsid] = creator;
}

}  // namespace tessaloom::com

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if ((context & CLSCTX_INPROC) == 0) return REGDB_E_CLASSNOTREG;
    tessaloom::com::ClassCreator creator = nullptr;
    {
        auto& table = tessaloom::com::Table();
        std::lock_guard lock(table.mutex);
        auto it = table.creators.find(clsid);
        if (it != table.creators.end()) creator = it->second;
    }
    if (!creator) return REGDB_E_CLASSNOTREG;
    return creator(iid, object);
}
