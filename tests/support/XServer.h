// An Xvfb server for window tests, on a display number the server picks itself, and
// small helpers those tests share: waiting for a condition, counting open descriptors.
#pragma once

#include <X11/Xlib.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace xtest {

inline bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string paths(path);
    size_t start = 0;
    while (start <= paths.size()) {
        size_t end = paths.find(':', start);
        if (end == std::string::npos) end = paths.size();
        std::string candidate = paths.substr(start, end - start);
        candidate += '/';
        candidate += program;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

inline int openDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}

template <typename Condition>
inline bool waitFor(Condition condition, int milliseconds = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// An Xvfb server on a free display number, stopped with the object.
class XServer {
public:
    bool start() {
        if (!onPath("Xvfb")) {
            const char* current = std::getenv("DISPLAY");
            if (!current || !*current) return false;
            name = current;
            return true;
        }
        // Xvfb picks a free display number itself and writes it to the pipe: no clash
        // with servers of other sessions, whose lock files this one may not see.
        // -noreset: without it the server resets whenever its last client leaves, and a
        // test connecting during that reset is refused.
        int fds[2];
        if (pipe(fds) != 0) return false;
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x560x24", "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            return false;
        }
        std::string number;
        pollfd readable{fds[0], POLLIN, 0};
        char c;
        while (poll(&readable, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return false;
        name = ":" + number;
        return waitFor([&] {
            Display* probe = XOpenDisplay(name.c_str());
            if (probe) XCloseDisplay(probe);
            return probe != nullptr;
        });
    }
    void stop() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }
    ~XServer() { stop(); }
    const std::string& display() const { return name; }

private:
    pid_t pid = -1;
    std::string name;
};

}  // namespace xtest
