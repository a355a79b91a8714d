// Reading back what tests/support/arg_recorder.c wrote: the argument vector
// a started program received, and how many descriptors from 3 on it had open.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace tessaloom::test {

struct ArgRecord {
    bool found = false;
    std::vector<std::string> args;
    int openDescriptors = -1;
};

// A fresh record path in the test's temporary folder, exported to the
// recorder through $TESSALOOM_ARG_RECORD.
inline std::string ArmArgRecord(const std::string& name) {
    const std::string path = "/tmp/tessaloom-argrec-" + std::to_string(getpid()) + "-" + name;
    std::remove(path.c_str());
    setenv("TESSALOOM_ARG_RECORD", path.c_str(), 1);
    return path;
}

// Waits for the recorder's file (a started process needs a moment; on a
// loaded machine with sanitizers, several), then reads and removes it.
inline ArgRecord WaitForArgRecord(const std::string& path) {
    ArgRecord record;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (access(path.c_str(), F_OK) != 0) {
        if (std::chrono::steady_clock::now() > deadline) return record;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    record.found = true;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
        record.args.push_back(bytes.substr(start, end - start));
    const std::string tail = bytes.substr(start);
    if (tail.rfind("open-fds ", 0) == 0) record.openDescriptors = std::atoi(tail.c_str() + 9);
    return record;
}

// A folder put first on PATH holding `name` as a link to the recorder, so a
// command naming `name` without a path starts the recorder.  Restores PATH
// when it goes.
class RecorderOnPath {
public:
    explicit RecorderOnPath(const std::string& name) {
        const char* old = std::getenv("PATH");
        oldPath_ = old ? old : "";
        char tmpl[] = "/tmp/tessaloom-path-XXXXXX";
        folder_ = mkdtemp(tmpl) ? tmpl : "";
        link_ = folder_ + "/" + name;
        if (!folder_.empty() && symlink(TESSALOOM_ARG_RECORDER, link_.c_str()) == 0)
            setenv("PATH", (folder_ + ":" + oldPath_).c_str(), 1);
    }
    ~RecorderOnPath() {
        setenv("PATH", oldPath_.c_str(), 1);
        unlink(link_.c_str());
        rmdir(folder_.c_str());
    }
    RecorderOnPath(const RecorderOnPath&) = delete;
    RecorderOnPath& operator=(const RecorderOnPath&) = delete;

private:
    std::string oldPath_, folder_, link_;
};

}  // namespace tessaloom::test
