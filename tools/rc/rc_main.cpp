// tessaloom-rc: compiles a resource script into the executable's resource table.
//
//   tessaloom-rc [-I folder]... [-D NAME[=TEXT]]... [-S NAME=TEXT]...
//                [--depfile file] -o table.cpp script.rc
//
// -S defines NAME as a string literal holding TEXT as it stands (a file path
// with any characters).  --depfile writes a make-style list of every file read.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "tools/rc/rc_compiler.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: tessaloom-rc [-I folder]... [-D NAME[=TEXT]]... [-S NAME=TEXT]... [--depfile file] "
                 "-o table.cpp script.rc\n");
    return 2;
}

std::string EscapeDep(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == ' ' || c == '#' || c == '\\') out.push_back('\\');
        if (c == '$') out.push_back('$');
        out.push_back(c);
    }
    return out;
}

bool Write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    tessaloom::rc::Options options;
    std::string output, depfile, input;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* flag) -> std::string {
            if (a.size() > std::strlen(flag)) return a.substr(std::strlen(flag));
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tessaloom-rc: %s needs a value\n", flag);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a.rfind("-I", 0) == 0) {
            options.includeDirs.push_back(value("-I"));
        } else if (a.rfind("-D", 0) == 0) {
            std::string d = value("-D");
            size_t eq = d.find('=');
            options.defines.emplace_back(d.substr(0, eq), eq == std::string::npos ? "1" : d.substr(eq + 1));
        } else if (a.rfind("-S", 0) == 0) {
            std::string d = value("-S");
            size_t eq = d.find('=');
            if (eq == std::string::npos || eq == 0) return Usage();
            options.stringDefines.emplace_back(d.substr(0, eq), d.substr(eq + 1));
        } else if (a == "-o") {
            if (++i >= argc) return Usage();
            output = argv[i];
        } else if (a == "--depfile") {
            if (++i >= argc) return Usage();
            depfile = argv[i];
        } else if (!a.empty() && a[0] == '-') {
            return Usage();
        } else if (input.empty()) {
            input = a;
        } else {
            return Usage();
        }
    }
    if (input.empty() || output.empty()) return Usage();

    tessaloom::rc::Result result = tessaloom::rc::CompileFile(input, options);
    if (!result.ok) {
        std::fprintf(stderr, "%s\n", result.error.c_str());
        return 1;
    }
    if (!Write(output, tessaloom::rc::EmitTable(result.resources, input))) {
        std::fprintf(stderr, "tessaloom-rc: cannot write %s\n", output.c_str());
        return 1;
    }
    if (!depfile.empty()) {
        std::string deps = EscapeDep(output) + ":";
        for (const auto& d : result.dependencies) deps += " \\\n  " + EscapeDep(d);
        deps += "\n";
        if (!Write(depfile, deps)) {
            std::fprintf(stderr, "tessaloom-rc: cannot write %s\n", depfile.c_str());
            return 1;
        }
    }
    return 0;
}
