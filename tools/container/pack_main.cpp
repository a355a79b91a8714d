// tessaloom-pack: builds a resource container (such as common_res.dll).
//
//   tessaloom-pack -o common_res.dll FOLDER      <type>/<number>.<ext> files
//   tessaloom-pack -o common_res.dll LIST.txt    lines "TYPE NUMBER PATH"
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tools/container/container_writer.h"

int main(int argc, char** argv) {
    std::string output, input;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-o" && i + 1 < argc) output = argv[++i];
        else if (input.empty() && !a.empty() && a[0] != '-') input = a;
        else output.clear(), input.clear(), i = argc;
    }
    if (output.empty() || input.empty()) {
        std::fprintf(stderr, "usage: tessaloom-pack -o container FOLDER|MANIFEST\n");
        return 2;
    }
    std::vector<tessaloom::container::Item> items;
    std::string error;
    bool ok = std::filesystem::is_directory(input) ? tessaloom::container::ItemsFromFolder(input, items, &error)
                                                  : tessaloom::container::ItemsFromManifest(input, items, &error);
    std::vector<uint8_t> bytes;
    if (ok) ok = tessaloom::container::WriteContainer(items, bytes, &error);
    if (!ok) {
        std::fprintf(stderr, "tessaloom-pack: %s\n", error.c_str());
        return 1;
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "tessaloom-pack: cannot write %s\n", output.c_str());
        return 1;
    }
    std::printf("%s: %zu resources, %zu bytes\n", output.c_str(), items.size(), bytes.size());
    return 0;
}
