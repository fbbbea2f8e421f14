// The Debian package and `cmake --install`, checked as a musician's machine meets them:
// what lands where, what the package asks the system for, and an installed plug-in that
// plays from a folder its user cannot write to.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/MidiBytes.h"
#include "render/TestAudio.h"

namespace {

namespace fs = std::filesystem;

const std::string kBinaryDir = ZORVEK_BINARY_DIR;
const std::set<std::string> kPluginFolder = {"Zorvek2.so",  "ZorvekCapture.so", "drumloop.wav",
                                             "someone.wav", "speech.wav",       "testing1-2-3.wav"};
// The LV2 bundles, relative to the LV2 folder.
const std::set<std::string> kLv2Bundles = {"Zorvek2.lv2/Zorvek2.so",
                                           "Zorvek2.lv2/Zorvek2.ttl",
                                           "Zorvek2.lv2/manifest.ttl",
                                           "Zorvek2.lv2/presets.ttl",
                                           "Zorvek2.lv2/drumloop.wav",
                                           "Zorvek2.lv2/someone.wav",
                                           "Zorvek2.lv2/speech.wav",
                                           "Zorvek2.lv2/testing1-2-3.wav",
                                           "ZorvekCapture.lv2/ZorvekCapture.so",
                                           "ZorvekCapture.lv2/ZorvekCapture.ttl",
                                           "ZorvekCapture.lv2/manifest.ttl"};
// Beside the plug-in folder: the render tool, its manual page and the documents.
const std::set<std::string> kToolAndDocuments = {"bin/zorvek-render",
                                                 "share/man/man1/zorvek-render.1.gz",
                                                 "share/doc/zorvek2/copyright",
                                                 "share/doc/zorvek2/manual.md",
                                                 "share/doc/zorvek2/images/band-display-100.png",
                                                 "share/doc/zorvek2/images/band-display-200.png",
                                                 "share/doc/zorvek2/images/capture-editor.png",
                                                 "share/doc/zorvek2/images/modulator-spectrogram.png",
                                                 "share/doc/zorvek2/images/vocoded-spectrogram.png",
                                                 "share/doc/zorvek2/images/vocoder-editor.png"};

struct Outcome {
    int status = -1;
    std::string output;
};

Outcome run(const std::string& command) {
    Outcome result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& content) { std::ofstream(path, std::ios::binary) << content; }

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// Every file below root, as paths relative to it.
std::set<std::string> filesBelow(const fs::path& root) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (!entry.is_directory()) files.insert(fs::relative(entry.path(), root).string());
    return files;
}

// The VST 2 plug-in folder and the LV2 bundles, below the folders that hold them.
std::set<std::string> installedFiles(const std::string& pluginFolderParent, const std::string& bundleParent) {
    std::set<std::string> files;
    for (const std::string& name : kPluginFolder) files.insert(pluginFolderParent + "/Zorvek/" + name);
    for (const std::string& name : kLv2Bundles) files.insert(bundleParent + "/" + name);
    return files;
}

// A folder under /tmp that every user may enter, removed with everything in it.
class Scratch {
public:
    explicit Scratch(const std::string& name)
        : path(fs::temp_directory_path() / ("zorvek-package-" + std::to_string(getpid()) + "-" + name)) {
        fs::remove_all(path);
        fs::create_directories(path);
        chmod(path.c_str(), 0755);
    }
    ~Scratch() {
        run("chmod -R u+w " + shellQuoted(path.string()));
        fs::remove_all(path);
    }
    fs::path path;
};

// Package names of a control field such as "libc6 (>= 2.34), zenity | kdialog".
std::set<std::string> packageNames(const std::string& field) {
    std::set<std::string> names;
    std::string name;
    bool inVersion = false;
    for (char c : field + ",") {
        if (c == '(') inVersion = true;
        if (c == ')') inVersion = false;
        if (c == ',' || c == '|') {
            if (!name.empty()) names.insert(name);
            name.clear();
        } else if (!inVersion && c != ' ' && c != '(' && c != ')' && c != '\n') {
            name += c;
        }
    }
    return names;
}

// The packages on this system that provide the shared library `soname`.
std::set<std::string> ownersOf(const std::string& soname) {
    std::set<std::string> owners;
    std::istringstream lines(run("dpkg-query -S " + shellQuoted("*/" + soname)).output);
    for (std::string line; std::getline(lines, line);) {
        size_t colon = line.find(':');
        if (colon == std::string::npos || line.find(soname) == std::string::npos) continue;
        for (const std::string& owner : packageNames(line.substr(0, colon))) owners.insert(owner);
    }
    return owners;
}

std::vector<std::string> neededLibraries(const fs::path& library) {
    std::vector<std::string> needed;
    std::istringstream lines(run("readelf -d " + shellQuoted(library.string())).output);
    for (std::string line; std::getline(lines, line);) {
        size_t open = line.find("(NEEDED)");
        size_t start = line.find('[');
        size_t end = line.rfind(']');
        if (open != std::string::npos && start != std::string::npos && end > start)
            needed.push_back(line.substr(start + 1, end - start - 1));
    }
    return needed;
}

// A MIDI file that turns controller 7 (Volume by default) fully down, then holds a chord
// for a second, long enough for the speech in file slot 4 to come through the vocoder.
std::string volumeDownThenChord() {
    using namespace midibytes;
    Bytes events = join({tempo(0, 500000), event(0, {0xB0, 7, 0}), event(0, {0x90, 48, 100}), event(0, {0x90, 55, 100}),
                         event(0, {0x90, 60, 100}), event(960, {0x80, 48, 0}), event(0, {0x80, 55, 0}),
                         event(0, {0x80, 60, 0}), endOfTrack()});
    Bytes file = join({header(0, 1, 480), track(events)});
    return std::string(file.begin(), file.end());
}

class DebianPackage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch = new Scratch("deb");
        packageLog = run("cpack --config " + shellQuoted(kBinaryDir + "/CPackConfig.cmake") + " -G DEB -B " +
                         shellQuoted((scratch->path / "cpack").string()))
                         .output;
        for (const auto& entry : fs::directory_iterator(scratch->path / "cpack"))
            if (entry.path().extension() == ".deb") deb = entry.path().string();
    }
    static void TearDownTestSuite() {
        delete scratch;
        scratch = nullptr;
    }
    void SetUp() override { ASSERT_FALSE(deb.empty()) << "cpack made no package:\n" << packageLog; }

    // The package unpacked into a fresh root; answers the plug-in folder inside it.
    static fs::path unpack(const std::string& name) {
        fs::path root = scratch->path / name;
        fs::create_directories(root);
        Outcome extracted = run("dpkg-deb -x " + shellQuoted(deb) + " " + shellQuoted(root.string()));
        EXPECT_EQ(extracted.status, 0) << extracted.output;
        return root / "usr/lib/vst/Zorvek";
    }

    static std::string field(const std::string& name) {
        std::string value = run("dpkg-deb -f " + shellQuoted(deb) + " " + name).output;
        while (!value.empty() && value.back() == '\n') value.pop_back();
        return value;
    }

    static Scratch* scratch;
    static std::string deb;
    static std::string packageLog;
};

Scratch* DebianPackage::scratch = nullptr;
std::string DebianPackage::deb;
std::string DebianPackage::packageLog;

TEST_F(DebianPackage, HoldsThePluginFolderTheToolAndItsDocuments) {
    std::set<std::string> files;
    std::istringstream lines(run("dpkg-deb -c " + shellQuoted(deb)).output);
    for (std::string line; std::getline(lines, line);) {
        std::string path = line.substr(line.rfind(' ') + 1);
        if (path.back() != '/') files.insert(path);
    }
    std::set<std::string> expected;
    for (const std::string& name : installedFiles("lib/vst", "lib/lv2")) expected.insert("./usr/" + name);
    for (const std::string& name : kToolAndDocuments) expected.insert("./usr/" + name);
    EXPECT_EQ(files, expected);
    fs::path root = unpack("documents").parent_path().parent_path().parent_path();
    EXPECT_NE(readFile(root / "share/doc/zorvek2/copyright").find("Permission is hereby granted"), std::string::npos);
    Outcome page =
        run("MANWIDTH=200 man --nj -l " + shellQuoted((root / "share/man/man1/zorvek-render.1.gz").string()));
    EXPECT_NE(page.output.find("zorvek-render - play a MIDI file"), std::string::npos) << page.output;
    // The guide's install command names the file that cpack makes.
    std::string command = "sudo apt install ./build/" + fs::path(deb).filename().string();
    EXPECT_NE(readFile(ZORVEK_SOURCE_DIR "/docs/manual.md").find(command), std::string::npos) << command;
    EXPECT_EQ(field("Package"), "zorvek2");
    EXPECT_EQ(field("Section"), "sound");
    EXPECT_FALSE(field("Maintainer").empty());
}

TEST_F(DebianPackage, DependsOnEveryLibraryThePluginsLoad) {
    std::set<std::string> depends = packageNames(field("Depends"));
    EXPECT_TRUE(depends.count("libc6")) << field("Depends");
    EXPECT_TRUE(depends.count("libstdc++6")) << field("Depends");
    EXPECT_TRUE(packageNames(field("Recommends")).count("zenity")) << field("Recommends");

    fs::path folder = unpack("depends");
    for (const char* plugin : {"Zorvek2.so", "ZorvekCapture.so", "../../../bin/zorvek-render",
                               "../../lv2/Zorvek2.lv2/Zorvek2.so", "../../lv2/ZorvekCapture.lv2/ZorvekCapture.so"}) {
        std::vector<std::string> needed = neededLibraries(folder / plugin);
        EXPECT_FALSE(needed.empty()) << plugin;
        for (const std::string& soname : needed) {
            std::set<std::string> owners = ownersOf(soname);
            bool declared = false;
            for (const std::string& owner : owners) declared = declared || depends.count(owner);
            EXPECT_TRUE(declared) << plugin << " needs " << soname << " (from " << ::testing::PrintToString(owners)
                                  << ") but Depends is: " << field("Depends");
        }
    }
}

// The installed folder belongs to root, as after installing the package; the plug-in runs
// as a user who cannot write there (the superuser can write anywhere, so it runs as nobody).
class ReadOnlyInstall {
public:
    explicit ReadOnlyInstall(const fs::path& pluginFolder, const fs::path& scratch) : folder(pluginFolder) {
        fs::create_directories(scratch / "out");
        chmod((scratch / "out").c_str(), 0777);
        // The package's own tool, from the usr/bin/ of the same unpacked root.
        renderTool = folder.parent_path().parent_path().parent_path() / "bin/zorvek-render";
        output = scratch / "out";
    }

    void lock() const {
        if (geteuid() != 0) chmod(folder.c_str(), 0555);
    }
    void unlock() const { chmod(folder.c_str(), 0755); }

    Outcome render(const std::string& arguments) const {
        // A new user's own configuration folder each time, not the test run's (root's): a map
        // copied there by an earlier run would hide the one beside the plug-in.
        const fs::path config = output / ("config-" + std::to_string(++runs));
        std::string asUser = "env XDG_CONFIG_HOME=" + shellQuoted(config.string()) + " ";
        if (geteuid() == 0) asUser += "setpriv --reuid=65534 --regid=65534 --clear-groups -- ";
        return run(asUser + shellQuoted(renderTool.string()) + " " + shellQuoted((folder / "Zorvek2.so").string()) +
                   " " + arguments);
    }

    fs::path folder;
    fs::path renderTool;
    fs::path output;
    mutable int runs = 0;
};

TEST_F(DebianPackage, InstalledPluginPlaysFromAFolderItCannotWrite) {
    fs::path folder = unpack("readonly");
    ASSERT_EQ(namesIn(folder), kPluginFolder);
    ReadOnlyInstall install(folder, scratch->path / "readonly-run");
    install.lock();

    fs::path wav = install.output / "demo.wav";
    Outcome rendered = install.render("--demo -o " + shellQuoted(wav.string()));
    ASSERT_EQ(rendered.status, 0) << rendered.output;
    testaudio::Wav demo = testaudio::readWav(wav.string());
    EXPECT_GT(demo.frames(), 44100);
    EXPECT_GT(testaudio::peak(demo, 0, 0, demo.frames()), 0.05f);
    // The render's one summary line and no message; no map file, no temporary file.
    EXPECT_EQ(std::count(rendered.output.begin(), rendered.output.end(), '\n'), 1) << rendered.output;
    EXPECT_EQ(namesIn(folder), kPluginFolder);
}

TEST_F(DebianPackage, ControllerMapIsReadFromBesideTheInstalledPluginAndLeftAlone) {
    fs::path folder = unpack("ini");
    ReadOnlyInstall install(folder, scratch->path / "ini-run");
    fs::path midi = install.output / "volume-down.mid";
    writeFile(midi, volumeDownThenChord());
    chmod(midi.c_str(), 0644);

    // Without a map file controller 7 moves Volume: the chord is silent.
    install.lock();
    fs::path silent = install.output / "silent.wav";
    Outcome first = install.render(shellQuoted(midi.string()) + " -o " + shellQuoted(silent.string()));
    ASSERT_EQ(first.status, 0) << first.output;
    testaudio::Wav quiet = testaudio::readWav(silent.string());
    EXPECT_LT(testaudio::peak(quiet, 0, 0, quiet.frames()), 1e-6f);
    EXPECT_EQ(namesIn(folder), kPluginFolder);

    // A map file beside the plug-in takes Volume off controller 7: the chord sounds, and
    // the file is not rewritten although the plug-in writes its map back on closing.
    install.unlock();
    const std::string map = "[midicc]\nVolume=0\n";
    writeFile(folder / "Zorvek2.ini", map);
    chmod((folder / "Zorvek2.ini").c_str(), 0644);
    install.lock();
    fs::path audible = install.output / "audible.wav";
    Outcome second = install.render(shellQuoted(midi.string()) + " -o " + shellQuoted(audible.string()));
    ASSERT_EQ(second.status, 0) << second.output;
    testaudio::Wav loud = testaudio::readWav(audible.string());
    EXPECT_GT(testaudio::peak(loud, 0, 0, loud.frames()), 0.05f);
    EXPECT_EQ(readFile(folder / "Zorvek2.ini"), map);
    std::set<std::string> withMap = kPluginFolder;
    withMap.insert("Zorvek2.ini");
    EXPECT_EQ(namesIn(folder), withMap);
}

// The package installed on this machine, used by root as a musician would, and removed:
// nothing of it may stay behind. Needs root, and leaves a zorvek2 already installed alone.
TEST_F(DebianPackage, InstallUseAndRemoveLeaveNothingBehind) {
    if (geteuid() != 0) GTEST_SKIP() << "installing a package needs root";
    if (run("dpkg-query -W -f='${Status}' zorvek2").output.find("installed") != std::string::npos)
        GTEST_SKIP() << "zorvek2 is installed on this machine; the test would remove it";
    // Another dpkg run may hold the lock for a while.
    auto dpkg = [](const std::string& arguments) {
        Outcome outcome;
        for (int attempt = 0; attempt < 30; ++attempt) {
            outcome = run("dpkg " + arguments);
            if (outcome.status == 0 || outcome.output.find("lock") == std::string::npos) break;
            sleep(2);
        }
        return outcome;
    };
    const std::vector<std::string> folders = {"/usr/lib/vst/Zorvek", "/usr/share/doc/zorvek2"};
    for (const std::string& folder : folders) ASSERT_FALSE(fs::exists(folder)) << folder << " is there already";

    Outcome installed = dpkg("-i " + shellQuoted(deb));
    ASSERT_EQ(installed.status, 0) << installed.output;
    Scratch user("cycle");
    fs::path home = user.path / "home", wav = user.path / "demo.wav";
    Outcome rendered = run("HOME=" + shellQuoted(home.string()) +
                           " zorvek-render /usr/lib/vst/Zorvek/Zorvek2.so --demo -o " + shellQuoted(wav.string()));
    Outcome removed = dpkg("-r zorvek2");
    ASSERT_EQ(removed.status, 0) << removed.output;
    EXPECT_EQ(rendered.status, 0) << rendered.output;
    EXPECT_GT(fs::file_size(wav), 44100u);
    for (const std::string& path : {folders[0], folders[1], std::string("/usr/bin/zorvek-render"),
                                    std::string("/usr/share/man/man1/zorvek-render.1.gz")}) {
        EXPECT_FALSE(fs::exists(path)) << path << " stayed behind";
        fs::remove_all(path);  // none of it was there before the install
    }
}

TEST(Install, GivenPrefixGetsThePluginFolderUnderLibVst) {
    // Hosts and tests leave a controller map beside the built plug-in; it is not installed.
    fs::path strayMap = kBinaryDir + "/plugins/Zorvek2.ini";
    bool madeMap = !fs::exists(strayMap);
    if (madeMap) writeFile(strayMap, "");
    Scratch scratch("prefix");
    Outcome installed =
        run("cmake --install " + shellQuoted(kBinaryDir) + " --prefix " + shellQuoted((scratch.path / "usr").string()));
    if (madeMap) fs::remove(strayMap);
    ASSERT_EQ(installed.status, 0) << installed.output;
    std::set<std::string> expected = installedFiles("lib/vst", "lib/lv2");
    expected.insert(kToolAndDocuments.begin(), kToolAndDocuments.end());
    EXPECT_EQ(filesBelow(scratch.path / "usr"), expected);
}

TEST(Install, WithoutPrefixGoesToTheUsersVstFolder) {
    if (readFile(kBinaryDir + "/CMakeCache.txt").find("\nZORVEK_DEFAULT_PREFIX:INTERNAL=/") == std::string::npos)
        GTEST_SKIP() << "this build was configured with its own install prefix";
    Scratch home("home");
    Outcome installed = run("HOME=" + shellQuoted(home.path.string()) + " cmake --install " + shellQuoted(kBinaryDir));
    ASSERT_EQ(installed.status, 0) << installed.output;
    // The plug-ins where hosts look for a user's own, the tool and documents under ~/.local.
    std::set<std::string> expected = installedFiles(".vst", ".lv2");
    for (const std::string& name : kToolAndDocuments) expected.insert(".local/" + name);
    EXPECT_EQ(filesBelow(home.path), expected);
}

}  // namespace
