// The saver program as a whole process: what it does without a display, and
// how a signal ends it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/tessaloom-process.XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "";
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ignored;
    for (const auto& e : fs::recursive_directory_iterator(folder, ignored)) out.push_back(e.path().filename().string());
    return out;
}

// The saver with this process's environment changed by `changes` (a value
// of nullopt removes the variable); its stderr goes to `errPath`.
class SaverProcess {
public:
    SaverProcess(const std::vector<std::string>& args, const std::map<std::string, std::optional<std::string>>& changes,
                 const std::string& errPath) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            if (!changes.count(name)) env.push_back(entry);
        }
        for (const auto& [name, value] : changes)
            if (value) env.push_back(name + "=" + *value);
        std::vector<std::string> argv = {TESSALOOM_SAVER_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> argp, envp;
        for (auto& a : argv) argp.push_back(a.data());
        argp.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~SaverProcess() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }
    bool Running() {
        if (ended_) return false;
        if (waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
        return !ended_;
    }
    // The wait status, or nullopt when it still ran after `limit` (it is
    // then killed).
    std::optional<int> Wait(std::chrono::seconds limit) {
        const auto end = Clock::now() + limit;
        while (Running()) {
            if (Clock::now() > end) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    int status_ = 0;
    bool ended_ = false;
};

// Whether `text` appeared in the file while the process ran, within `limit`.
bool WaitForText(SaverProcess& saver, const std::string& path, const std::string& text, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (ReadText(path).find(text) != std::string::npos) return true;
        if (!saver.Running()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

const char* const kNoDisplay[] = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "XDG_RUNTIME_DIR"};

}  // namespace

// Without a display SDL falls back to a video driver that shows nothing;
// the full-screen and test modes say so and fail instead of running unseen.
TEST(SaverProcess, WithoutADisplayTheSaverModesSaySoAndFail) {
    for (const char* mode : {"/s", "/t"}) {
        TempDir temp, registry;
        const std::string err = temp.path() + "/stderr";
        std::map<std::string, std::optional<std::string>> env = {
            {"TMPDIR", temp.path()}, {"TESSALOOM_REGISTRY_DIR", registry.path()}};
        for (const char* name : kNoDisplay) env[name] = std::nullopt;
        SaverProcess saver({mode}, env, err);
        ASSERT_GT(saver.pid(), 0);
        const std::optional<int> status = saver.Wait(std::chrono::seconds(120));
        ASSERT_TRUE(status.has_value()) << mode << ": still running without a display";
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << mode << ": wait status " << *status;
        const std::string text = ReadText(err);
        EXPECT_NE(text.find("no display to show windows on"), std::string::npos) << mode << ":\n" << text;
        EXPECT_NE(text.find("no saver window could be made"), std::string::npos) << mode << ":\n" << text;
    }
}

// SIGTERM (a screen-saver manager's end), SIGINT and SIGHUP end a running
// saver through its message loop: the process then ends by that signal, with
// nothing half written in the temporary or the registry folder.
TEST(SaverProcess, ASignalEndsTheRunningSaverAndThenTheProcessByThatSignal) {
    struct Case {
        const char* mode;
        int signal;
    };
    for (const Case c : {Case{"/s", SIGTERM}, Case{"/s", SIGINT}, Case{"/s", SIGHUP}, Case{"/t", SIGTERM}}) {
        TempDir temp, registry;
        const std::string err = temp.path() + "/stderr";
        SaverProcess saver({c.mode},
                           {{"TMPDIR", temp.path()},
                            {"TESSALOOM_REGISTRY_DIR", registry.path()},
                            {"TESSALOOM_FRAME_STATS", "1"},
                            {"SDL_VIDEODRIVER", "offscreen"}},
                           err);
        ASSERT_GT(saver.pid(), 0);
        ASSERT_TRUE(WaitForText(saver, err, " fps ", std::chrono::seconds(120)))
            << c.mode << ": no frames drawn:\n" << ReadText(err);
        const auto sent = Clock::now();
        ASSERT_EQ(kill(saver.pid(), c.signal), 0);
        const std::optional<int> status = saver.Wait(std::chrono::seconds(60));
        ASSERT_TRUE(status.has_value()) << c.mode << ": signal " << c.signal << " did not end the saver";
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
        std::printf("saver %s, signal %d: ended %lld ms after the signal\n", c.mode, c.signal,
                    static_cast<long long>(ms));
        EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == c.signal)
            << c.mode << ": signal " << c.signal << ", wait status " << *status;
        const std::string text = ReadText(err);
        EXPECT_EQ(text.find("ERROR: AddressSanitizer"), std::string::npos) << text;
        EXPECT_EQ(text.find("runtime error"), std::string::npos) << text;
        for (const std::string& name : Names(temp.path()))
            EXPECT_EQ(name.find(".part-"), std::string::npos) << c.mode << ": left " << name;
        for (const std::string& name : Names(registry.path()))
            EXPECT_EQ(name.find(".tmp-"), std::string::npos) << c.mode << ": left " << name;
    }
}
