#include "platform/FileDialog.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

extern char** environ;

namespace platform {

namespace {

// A chooser prints one path; anything longer than this is not an answer.
constexpr size_t kOutputLimit = 64 * 1024;

// The executable's full path when it is in one of PATH's folders, else "".
std::string findProgram(const char* name) {
    const char* path = std::getenv("PATH");
    std::string folders = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        std::string folder = folders.substr(start, end - start);
        if (!folder.empty()) {
            std::string candidate = folder + "/" + name;
            if (access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        start = end + 1;
    }
    return {};
}

}  // namespace

FileDialog::~FileDialog() { cancel(); }

bool FileDialog::start(const std::string& title, const std::string& initialPath) {
    if (isRunning()) return false;
    received.clear();
    overflow = false;
    chosen.clear();
    answer = State::Cancelled;  // unless a chooser starts below

    std::vector<std::string> args;
    if (const char* hook = std::getenv("ZORVEK_FILE_CHOOSER"); hook && *hook) {
        args = {hook, initialPath};
    } else {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) return true;
        if (std::string zenity = findProgram("zenity"); !zenity.empty()) {
            args = {zenity,
                    "--file-selection",
                    "--title=" + title,
                    "--filename=" + initialPath,
                    "--file-filter=WAV files | *.wav *.WAV",
                    "--file-filter=All files | *"};
        } else if (std::string kdialog = findProgram("kdialog"); !kdialog.empty()) {
            args = {kdialog, "--title", title, "--getopenfilename", initialPath, "*.wav *.WAV|WAV files"};
        } else {
            return true;
        }
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (spawn(argv.data())) answer = State::Idle;
    return true;
}

bool FileDialog::spawn(char* const argv[]) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // The host's own descriptors (sockets, audio devices) stay out of the chooser.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    pid_t pid = -1;
    int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (error != 0) {
        close(fds[0]);
        return false;
    }
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    child = pid;
    output = fds[0];
    return true;
}

void FileDialog::drain() {
    char buffer[4096];
    for (;;) {
        ssize_t n = read(output, buffer, sizeof buffer);
        if (n > 0) {
            if (received.size() + static_cast<size_t>(n) <= kOutputLimit)
                received.append(buffer, static_cast<size_t>(n));
            else
                overflow = true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return;  // end of output, or nothing more for now
    }
}

FileDialog::State FileDialog::poll() {
    if (!isRunning()) {
        State result = answer;
        answer = State::Idle;
        return result;
    }
    drain();
    int status = 0;
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == 0 || (done < 0 && errno == EINTR)) return State::Running;
    drain();
    // A host that ignores SIGCHLD lets the system reap the child (ECHILD): then the
    // output alone decides.
    bool succeeded = done == child ? WIFEXITED(status) && WEXITSTATUS(status) == 0 : !received.empty();
    finish(succeeded && !overflow);
    State result = answer;
    answer = State::Idle;
    return result;
}

void FileDialog::finish(bool succeeded) {
    close(output);
    output = -1;
    child = -1;
    std::string line = received.substr(0, received.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    received.clear();
    if (succeeded && !line.empty()) {
        chosen = line;
        answer = State::Chosen;
    } else {
        answer = State::Cancelled;
    }
}

void FileDialog::cancel() {
    if (isRunning()) {
        kill(child, SIGKILL);
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        close(output);
        output = -1;
        child = -1;
    }
    received.clear();
    answer = State::Idle;
}

std::string pathForStorage(const std::string& chosenFile, const std::string& pluginFolder) {
    namespace fs = std::filesystem;
    if (chosenFile.empty() || pluginFolder.empty()) return chosenFile;
    // A library loaded by a relative name reports a relative folder: both are taken
    // from the current directory, as the loader took them.
    std::error_code error;
    fs::path file = fs::absolute(chosenFile, error).lexically_normal();
    fs::path folder = fs::absolute(pluginFolder, error).lexically_normal();
    if (error) return chosenFile;
    if (!folder.has_filename()) folder = folder.parent_path();  // a trailing separator
    // Paths that meet only at the root have no useful relative form.
    auto f = file.begin(), d = folder.begin();
    if (++f == file.end() || ++d == folder.end() || *f != *d) return file.string();
    fs::path relative = file.lexically_relative(folder);
    if (relative.empty()) return file.string();
    std::string text = relative.generic_string();
    return text.starts_with("..") ? text : "./" + text;
}

}  // namespace platform
