// The resource container reader on arbitrary bytes: it either rejects them or
// gives entries that all lie inside the file.  The same bytes also go through
// the dialog template reader.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/rc_dialog.h"
#include "platform/win32/resource_container.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    auto container = tessaloom::ResourceContainer::Parse(std::vector<uint8_t>(data, data + size), &error);
    if (container) {
        for (const auto& e : container->Entries()) {
            if (static_cast<uint64_t>(e.offset) + e.size > container->Bytes().size()) std::abort();
            volatile uint8_t sink = 0;
            for (uint32_t i = 0; i < e.size; ++i) sink = sink ^ container->Bytes()[e.offset + i];
            (void)container->Find(e.typeId, e.typeName.empty() ? nullptr : e.typeName.c_str(), e.id);
        }
    } else if (error.empty()) {
        std::abort();  // a refusal always says why
    }
    tessaloom::DialogTemplate dialog;
    tessaloom::ParseDialogTemplate(data, size, dialog, &error);
    return 0;
}
