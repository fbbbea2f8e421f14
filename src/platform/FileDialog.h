// The open-file dialog: a desktop file chooser run as a child process, so that neither
// the host's window nor its audio stops while the user browses. start() returns at
// once; poll(), called from the editor's idle, picks up the answer and reaps the child.
//
// The chooser is `zenity --file-selection`, else `kdialog --getopenfilename`; without
// either, or without a display, the dialog answers Cancelled. The environment variable
// ZORVEK_FILE_CHOOSER may name another executable instead: it is run with the initial
// path as its only argument and answers like the others (the chosen path on standard
// output and exit status 0, anything else for cancel).
#pragma once

#include <sys/types.h>

#include <string>

namespace platform {

class FileDialog {
public:
    enum class State { Idle, Running, Chosen, Cancelled };

    FileDialog() = default;
    // A chooser still open is closed and reaped.
    ~FileDialog();
    FileDialog(const FileDialog&) = delete;
    FileDialog& operator=(const FileDialog&) = delete;

    // Opens the chooser on initialPath (a file or folder, may be empty). False when one is
    // already open; when no chooser can run the dialog is Cancelled at once.
    bool start(const std::string& title, const std::string& initialPath);
    // Running while the user chooses; then Chosen (see path()) or Cancelled exactly once,
    // after which the dialog is Idle again.
    State poll();
    // The chosen file, valid after poll() answered Chosen.
    const std::string& path() const { return chosen; }
    // Closes an open chooser without an answer.
    void cancel();
    bool isRunning() const { return child > 0; }

private:
    bool spawn(char* const argv[]);
    void drain();
    void finish(bool succeeded);

    pid_t child = -1;
    int output = -1;  // read end of the child's standard output
    std::string received;
    bool overflow = false;  // more output than a path: not an answer
    std::string chosen;
    State answer = State::Idle;
};

// The path to store for a chosen file: relative to the plug-in's folder and written with
// "./" (./loops/beat.wav, ../beat.wav) when the two share a top-level folder; else the
// absolute path, which stays valid wherever the plug-in moves.
std::string pathForStorage(const std::string& chosenFile, const std::string& pluginFolder);

}  // namespace platform
