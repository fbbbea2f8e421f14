// The file chooser as a child process: scripted choosers stand in for the desktop one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/FileDialog.h"
#include "support/TempFolder.h"

namespace fs = std::filesystem;
using platform::FileDialog;
using platform::pathForStorage;

namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name(name) {
        if (const char* old = std::getenv(name)) saved = old, had = true;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (had)
            setenv(name, saved.c_str(), 1);
        else
            unsetenv(name);
    }

private:
    const char* name;
    std::string saved;
    bool had = false;
};

class FileDialogTest : public ::testing::Test {
protected:
    // An executable chooser script with the given body.
    std::string script(const std::string& name, const std::string& body) {
        fs::path path = folder / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        chmod(path.c_str(), 0755);
        return path.string();
    }

    // Polls like an editor's idle until the dialog stops running (at most 10 s).
    static FileDialog::State waitForAnswer(FileDialog& dialog) {
        for (int i = 0; i < 1000; ++i) {
            FileDialog::State state = dialog.poll();
            if (state != FileDialog::State::Running) return state;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return FileDialog::State::Running;
    }

    // True when this process has no child left, not even an unreaped one.
    static bool noChildren() { return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }

    TempFolder temp;
    const fs::path folder{temp.path};
};

TEST_F(FileDialogTest, StartReturnsAtOnceAndPollPicksUpTheChoiceLater) {
    fs::path flag = folder / "go";
    ScopedEnv chooser("ZORVEK_FILE_CHOOSER", script("choose", "while [ ! -e '" + flag.string() +
                                                                  "' ]; do sleep 0.01; done\n"
                                                                  "echo /music/loops/beat.wav")
                                                 .c_str());
    FileDialog dialog;
    ASSERT_TRUE(dialog.start("Open", ""));
    // The user is still choosing: the caller goes on with its work.
    EXPECT_EQ(dialog.poll(), FileDialog::State::Running);
    EXPECT_TRUE(dialog.isRunning());
    EXPECT_FALSE(dialog.start("Open", "")) << "a second chooser while one is open";
    std::ofstream(flag).put('x');
    EXPECT_EQ(waitForAnswer(dialog), FileDialog::State::Chosen);
    EXPECT_EQ(dialog.path(), "/music/loops/beat.wav");
    // The answer is delivered once; the child is reaped.
    EXPECT_EQ(dialog.poll(), FileDialog::State::Idle);
    EXPECT_TRUE(noChildren());
}

TEST_F(FileDialogTest, ChooserReceivesTheInitialPathAndMayAnswerWithCarriageReturn) {
    ScopedEnv chooser("ZORVEK_FILE_CHOOSER", script("echo", "printf '%s\\r\\nsecond line\\n' \"$1\"").c_str());
    FileDialog dialog;
    ASSERT_TRUE(dialog.start("Open", "/plugins/Zorvek/speech wav.wav"));
    EXPECT_EQ(waitForAnswer(dialog), FileDialog::State::Chosen);
    EXPECT_EQ(dialog.path(), "/plugins/Zorvek/speech wav.wav") << "argument passed whole, no shell splitting";
}

TEST_F(FileDialogTest, CancelledByExitStatusOrEmptyAnswer) {
    for (const char* body : {"echo /x.wav; exit 1", "exit 0", "kill -9 $$"}) {
        SCOPED_TRACE(body);
        ScopedEnv chooser("ZORVEK_FILE_CHOOSER", script("cancel", body).c_str());
        FileDialog dialog;
        ASSERT_TRUE(dialog.start("Open", ""));
        EXPECT_EQ(waitForAnswer(dialog), FileDialog::State::Cancelled);
        EXPECT_EQ(dialog.path(), "");
        EXPECT_TRUE(noChildren());
    }
}

TEST_F(FileDialogTest, WithoutDisplayOrChooserProgramTheDialogIsCancelled) {
    ScopedEnv noHook("ZORVEK_FILE_CHOOSER", nullptr);
    {
        ScopedEnv noDisplay("DISPLAY", nullptr);
        FileDialog dialog;
        ASSERT_TRUE(dialog.start("Open", ""));
        EXPECT_FALSE(dialog.isRunning());
        EXPECT_EQ(dialog.poll(), FileDialog::State::Cancelled);
        EXPECT_EQ(dialog.poll(), FileDialog::State::Idle);
    }
    {
        ScopedEnv display("DISPLAY", ":99");
        ScopedEnv emptyPath("PATH", folder.c_str());  // neither zenity nor kdialog here
        FileDialog dialog;
        ASSERT_TRUE(dialog.start("Open", ""));
        EXPECT_EQ(dialog.poll(), FileDialog::State::Cancelled);
    }
    {
        ScopedEnv missing("ZORVEK_FILE_CHOOSER", (folder / "no-such-chooser").c_str());
        FileDialog dialog;
        ASSERT_TRUE(dialog.start("Open", ""));
        EXPECT_EQ(waitForAnswer(dialog), FileDialog::State::Cancelled);
    }
    EXPECT_TRUE(noChildren());
}

TEST_F(FileDialogTest, ClosingAnOpenChooserReapsIt) {
    ScopedEnv chooser("ZORVEK_FILE_CHOOSER", script("hang", "exec sleep 60").c_str());
    auto before = std::chrono::steady_clock::now();
    {
        FileDialog dialog;
        ASSERT_TRUE(dialog.start("Open", ""));
        EXPECT_EQ(dialog.poll(), FileDialog::State::Running);
        dialog.cancel();
        EXPECT_EQ(dialog.poll(), FileDialog::State::Idle);
        EXPECT_TRUE(noChildren());
        ASSERT_TRUE(dialog.start("Open", ""));
    }  // destroyed while open
    EXPECT_TRUE(noChildren());
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));
}

TEST_F(FileDialogTest, EndlessOutputIsNotAnAnswer) {
    ScopedEnv chooser("ZORVEK_FILE_CHOOSER", script("flood", "head -c 200000 /dev/zero | tr '\\0' a").c_str());
    FileDialog dialog;
    ASSERT_TRUE(dialog.start("Open", ""));
    EXPECT_EQ(waitForAnswer(dialog), FileDialog::State::Cancelled);
    EXPECT_EQ(dialog.path(), "");
}

TEST(PathForStorage, RelativeToThePluginFolderWithDotSlash) {
    EXPECT_EQ(pathForStorage("/home/u/vst/Zorvek/loops/beat.wav", "/home/u/vst/Zorvek"), "./loops/beat.wav");
    EXPECT_EQ(pathForStorage("/home/u/vst/Zorvek/beat.wav", "/home/u/vst/Zorvek/"), "./beat.wav");
    EXPECT_EQ(pathForStorage("/home/u/vst/beat.wav", "/home/u/vst/Zorvek"), "../beat.wav");
    EXPECT_EQ(pathForStorage("/home/u/samples/./a/../beat.wav", "/home/u/vst/Zorvek"), "../../samples/beat.wav");
}

TEST(PathForStorage, NoRelativePathKeepsTheAbsolutePath) {
    EXPECT_EQ(pathForStorage("/media/disk/beat.wav", "/home/u/vst/Zorvek"), "/media/disk/beat.wav");
    EXPECT_EQ(pathForStorage("/beat.wav", "/home/u/vst/Zorvek"), "/beat.wav");
    // Without a known plug-in folder nothing can be relative.
    EXPECT_EQ(pathForStorage("/home/u/beat.wav", ""), "/home/u/beat.wav");
}

TEST(PathForStorage, RelativeNamesCountFromTheCurrentDirectory) {
    const std::string here = std::filesystem::current_path().string();
    EXPECT_EQ(pathForStorage(here + "/plugins/loops/beat.wav", "./plugins"), "./loops/beat.wav");
    EXPECT_EQ(pathForStorage("plugins/beat.wav", here + "/plugins"), "./beat.wav");
}

}  // namespace
