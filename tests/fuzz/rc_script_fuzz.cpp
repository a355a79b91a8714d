// The resource compiler on arbitrary script text.  Two small files exist for
// #include and for file resources; compiled dialogs are read back.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/win32/rc_dialog.h"
#include "tools/rc/rc_compiler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tessaloom::rc::Options options;
    options.loader = [](const std::string& path, std::string& out) {
        if (path == "ids.h") {
            out = "#define IDD_MAIN 106\n#define IDS_TITLE 1000\n";
            return true;
        }
        if (path == "f.bin") {
            out = std::string("\0\0\1\0\1\0", 6);
            return true;
        }
        return false;
    };
    options.defines.emplace_back("DOC", "\"f.bin\"");
    std::string text(reinterpret_cast<const char*>(data), size);
    tessaloom::rc::Result r = tessaloom::rc::CompileText("fuzz.rc", text, options);
    if (!r.ok) {
        if (r.error.find("error:") == std::string::npos) std::abort();
        return 0;
    }
    for (const auto& res : r.resources) {
        if (res.type.id == 5 && res.type.name.empty()) {
            tessaloom::DialogTemplate dialog;
            // What the compiler writes, the reader must read.
            if (!tessaloom::ParseDialogTemplate(res.data.data(), res.data.size(), dialog)) std::abort();
        }
    }
    (void)tessaloom::rc::EmitTable(r.resources, "fuzz.rc");
    return 0;
}
