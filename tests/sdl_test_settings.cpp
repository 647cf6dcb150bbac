#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <string>

#include "app/linux_paths.h"
#include "app/sdl/settings_file.h"
#include "tests/support.h"

// The largest allocation asked for: a file far over the size limit must not
// be read whole. Every form is replaced: the sanitizers match each delete with its new.
std::size_t largestRequest = 0;
void* operator new(std::size_t n) {
    largestRequest = std::max(largestRequest, n);
    void* block = std::malloc(n + 1);
    return block ? block : throw std::bad_alloc();
}
// clang-format off
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n + 1); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n + 1); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
// clang-format on

// While not 0, every write of the program's own code takes at most this many
// bytes, as the system may answer any write: the rest must follow.
std::size_t writeLimit = 0;
extern "C" ssize_t write(int fd, const void* data, std::size_t size) {
    return syscall(SYS_write, fd, data, writeLimit != 0 && size > writeLimit ? writeLimit : size);
}

// Whether the last fsync was of a folder: a rename reaches the disk only with its folder.
bool folderSynced = false;
extern "C" int fsync(int fd) {
    struct stat info {};
    folderSynced = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace {

namespace fs = std::filesystem;

std::string str(const DisplaySettings& s) {
    return std::to_string(s.fullscreen) + " " + std::to_string(s.width) + "x" +
           std::to_string(s.height) + "x" + std::to_string(s.bitsPerPixel);
}

// What a file reads as with the desktop's depth 24; the sides it does not
// give are the defaults.
std::string readAs(int width = kDefaultWidth, int height = kDefaultHeight, std::uint8_t bits = 24) {
    return str(DisplaySettings{false, width, height, bits});
}

// Differs from every value the files below hold.
const DisplaySettings kSaved{true, 1024, 768, 16};
#define SAVED_KEYS(eol) \
    "Fullscreen=1" eol "Width=1024" eol "Height=768" eol "BitsPerPixel=16" eol "Samples=4" eol

TEST(SettingsTextTest, ReadsLikeTheProfileCallsAndChangesOnlyTheFourValues) {
    // Each file, what it reads as (desktop depth 24) and, byte for byte, what
    // saving kSaved makes of it.
    const struct {
        const char* text;
        std::string read;
        const char* saved;
    } cases[] = {
        // clang-format off
        {"", readAs(), "[Settings]\n" SAVED_KEYS("\n")},
        // Lines without '=' are kept, a block body too; new keys follow the section's last line.
        {"[Settings]\njust a line\nlong=<<<END\nbody\nEND\nWidth=800\n", readAs(800),
         "[Settings]\njust a line\nlong=<<<END\nbody\nEND\nWidth=1024\nFullscreen=1\nHeight=768\nBitsPerPixel=16\nSamples=4\n"},
        // The first [Settings] section and the first of a key count, names without case; repeats stay.
        {"[Other]\nWidth=1\n[settings]\nWodth=7\nWIDTH=800\nwidth=900\n[Other]\nk=v\n[SETTINGS]\nHeight=5\n", readAs(800),
         "[Other]\nWidth=1\n[settings]\nWodth=7\nWIDTH=1024\nwidth=900\nFullscreen=1\nHeight=768\nBitsPerPixel=16\nSamples=4\n[Other]\nk=v\n[SETTINGS]\nHeight=5\n"},
        // Byte order mark, CRLF, spacing, trailing comments, quotes, an empty value, code-page bytes.
        {"\xEF\xBB\xBF[Settings]\r\nName = some value  \r\n  width = 800  ; wide\r\nHEIGHT=600#tall \xE9t\xE9\r\n"
         "Fullscreen =\r\nBitsPerPixel=\"32\"\r\n[ Other ]\r\n", readAs(800, 600, 32),
         "\xEF\xBB\xBF[Settings]\r\nName = some value  \r\n  width = 1024  ; wide\r\nHEIGHT=768#tall \xE9t\xE9\r\n"
         "Fullscreen =1\r\nBitsPerPixel=\"16\"\r\nSamples=4\r\n[ Other ]\r\n"},
        // Commented-out keys and keys with spaces are not ours; comments before a section belong to it.
        {"[Settings]\n;Width=800\n# Height=600\nBits Per Pixel=8\nWidth=;none\n\n; about Other\n[Other]\n", readAs(),
         "[Settings]\n;Width=800\n# Height=600\nBits Per Pixel=8\nWidth=1024;none\nFullscreen=1\nHeight=768\nBitsPerPixel=16\nSamples=4\n\n; about Other\n[Other]\n"},
        // No final line break, in the section or with no section; new lines end like the first.
        {"[Settings]\nWidth=800", readAs(800), "[Settings]\nWidth=1024\nFullscreen=1\nHeight=768\nBitsPerPixel=16\nSamples=4"},
        {"[Other]\r\nWidth=5", readAs(), "[Other]\r\nWidth=5\r\n[Settings]\r\n" SAVED_KEYS("\r\n")},
        // CR alone ends a line, as old editors wrote it.
        {"[Settings]\rFullscreen=0\rWidth=800\r", readAs(800), "[Settings]\rFullscreen=1\rWidth=1024\rHeight=768\rBitsPerPixel=16\rSamples=4\r"},
        // Blanks inside the brackets make another name.
        {"[ Settings ]\nWidth=800\n", readAs(), "[ Settings ]\nWidth=800\n[Settings]\n" SAVED_KEYS("\n")},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(settingsTextProblem(c.text), nullptr);
        EXPECT_EQ(str(readSettingsText(c.text, 24)), c.read);
        const std::string saved = editSettingsText(c.text, kSaved);
        EXPECT_EQ(saved, c.saved);
        EXPECT_EQ(str(readSettingsText(saved, 24)), str(kSaved));
        EXPECT_EQ(editSettingsText(saved, kSaved), saved);
    }
}

// The demo's own key beside the four it shares with the Windows program:
// samples per pixel, 1, 2, 4 or 8, the demo's 4 when missing or empty.
TEST(SettingsTextTest, SamplesAreReadAsTheCountsOfferedAndSavedInPlace) {
    for (const auto& [value, samples] : {std::pair{"", 4},
                                         {"1", 1},
                                         {"0", 1},
                                         {"-4", 1},
                                         {"2", 2},
                                         {"3", 2},
                                         {"4", 4},
                                         {"7", 4},
                                         {"8", 8},
                                         {"16", 8},
                                         {"2147483647", 8},
                                         {" 8 ; most", 8}}) {
        SCOPED_TRACE(value);
        const std::string text = std::string("[Settings]\nSamples=") + value + "\nWidth=800\n";
        EXPECT_EQ(readSettingsText(text, 24).samples, samples);
    }
    LinuxSettings settings = readSettingsText("[Settings]\nSamples = 4 ; smooth\n", 24);
    settings.samples = 1;
    EXPECT_EQ(
        editSettingsText("[Settings]\nSamples = 4 ; smooth\n", settings),
        "[Settings]\nSamples = 1 ; smooth\nFullscreen=0\nWidth=" + std::to_string(kDefaultWidth) +
            "\nHeight=" + std::to_string(kDefaultHeight) + "\nBitsPerPixel=24\n");
}

TEST(SettingsTextTest, BinaryAndHugeFilesAreNoSettingsFiles) {
    const std::string refused[] = {
        std::string("[Settings]\nWidth=800\n\0[Other]\nk=v\n", 31), std::string((1 << 20) + 1, ' '),
        "\x1f",  // the highest control byte
    };
    for (const std::string& text : refused) {
        EXPECT_NE(settingsTextProblem(text), nullptr) << text.substr(0, 16);
    }
    EXPECT_EQ(settingsTextProblem(std::string((1 << 20) - 3, ' ') + "\t\v\f"), nullptr);
}

// A fresh directory holding the settings path (not created).
std::string settingsIn(const std::string& name) {
    const std::string directory = testing_support::scratchPath(name);
    fs::remove_all(directory);
    fs::create_directories(directory);
    return directory + "/Brightforge.INI";
}

std::string readText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A text short enough to show when a comparison fails.
std::string shortened(const std::string& text) {
    return text.size() < 4096 ? text : std::to_string(std::hash<std::string>{}(text));
}

// Every entry under `directory`: name, type, mode, owner and content or target.
std::string snapshot(const std::string& directory) {
    std::string out;
    for (const auto& entry : fs::recursive_directory_iterator(directory)) {
        struct stat info {};
        lstat(entry.path().c_str(), &info);
        out += entry.path().string() + " " + std::to_string(info.st_mode) + " " +
               std::to_string(info.st_uid) + " " +
               (entry.is_symlink()        ? fs::read_symlink(entry).string()
                : entry.is_regular_file() ? shortened(readText(entry.path().string()))
                                          : "") +
               "\n";
    }
    return out;
}

TEST(SettingsFileTest, WhatIsNotOursOrWouldNotFitIsLeftAsItWas) {
    const struct {
        const char* name;
        std::function<void(const std::string&)> make;
        bool loadRefuses;
    } cases[] = {
        {"huge",
         [](const std::string& p) {
             std::ofstream(p) << std::string((1 << 20) + 1, ';');
             // The rest sparse, read only by a reader that reads it all.
             fs::resize_file(p, 16 << 20);
         },
         true},
        // Read, but the keys it lacks would take it past the limit, so it stays readable.
        {"full",
         [](const std::string& p) {
             std::ofstream(p) << "[Settings]\n" << std::string((1 << 20) - 11, ';');
         },
         false},
        {"directory", [](const std::string& p) { fs::create_directories(p + "/inside"); }, true},
        {"fifo", [](const std::string& p) { mkfifo(p.c_str(), 0644); }, true},
        {"read-only",
         [](const std::string& p) {
             std::ofstream(p) << "[Settings]\nWidth=800\n";
             fs::permissions(p, fs::perms::owner_read | fs::perms::group_read);
         },
         false},
        {"dangling link", [](const std::string& p) { fs::create_symlink("real/none.ini", p); },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = settingsIn("alone");
        c.make(path);
        const std::string before = snapshot(fs::path(path).parent_path());
        std::string problem;
        largestRequest = 0;
        const DisplaySettings read = loadSettingsFile(path, 24, problem);
        EXPECT_LT(largestRequest, std::size_t(4) << 20);
        EXPECT_EQ(!problem.empty(), c.loadRefuses) << problem;
        EXPECT_EQ(read.height, kDefaultHeight);
        EXPECT_FALSE(saveSettingsFile(path, kSaved, problem));
        EXPECT_FALSE(problem.empty());
        EXPECT_EQ(snapshot(fs::path(path).parent_path()), before);
    }
}

TEST(SettingsFileTest, SaveReplacesAtomicallyKeepingModeOwnerAndLinks) {
    const std::string path = settingsIn("save");
    const std::string directory = fs::path(path).parent_path();
    std::string problem;
    EXPECT_EQ(str(loadSettingsFile(path, 24, problem)), readAs());
    EXPECT_FALSE(fs::exists(path));  // reading never creates the file
    writeLimit = 7;
    EXPECT_TRUE(saveSettingsFile(path, DisplaySettings{false, 640, 480, 24}, problem)) << problem;
    writeLimit = 0;
    EXPECT_EQ(readText(path),
              "[Settings]\nFullscreen=0\nWidth=640\nHeight=480\nBitsPerPixel=24\nSamples=4\n");

    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const bool root = geteuid() == 0;
    if (root) {  // only root can give the file away (owner only); the save must give it back
        ASSERT_EQ(chown(path.c_str(), 65534, getegid()), 0);
    }
    ASSERT_TRUE(saveSettingsFile(path, kSaved, problem)) << problem;
    EXPECT_EQ(readText(path), "[Settings]\n" SAVED_KEYS("\n"));
    EXPECT_EQ(fs::status(path).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    struct stat info {};
    stat(path.c_str(), &info);
    EXPECT_EQ(info.st_uid, root ? 65534u : geteuid());
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), fs::directory_iterator()), 1);
    // Saving what the file already says succeeds and leaves the file itself alone.
    ASSERT_TRUE(saveSettingsFile(path, kSaved, problem)) << problem;
    struct stat again {};
    stat(path.c_str(), &again);
    EXPECT_EQ(again.st_ino, info.st_ino);
    // A save is synced with its folder last, also when the folder is opened
    // as descriptor 0 (a demo started with standard input closed).
    const int input = dup(0);
    ::close(0);
    folderSynced = false;
    const bool saved = saveSettingsFile(path, DisplaySettings{false, 800, 600, 24}, problem);
    dup2(input, 0);
    ::close(input);
    EXPECT_TRUE(saved) << problem;
    EXPECT_TRUE(folderSynced);

    // A linked file is written where it lives; the link stays.
    fs::create_directories(directory + "/shared");
    fs::rename(path, directory + "/shared/display.ini");
    fs::create_symlink("shared/display.ini", path);
    ASSERT_TRUE(saveSettingsFile(path, DisplaySettings{false, 1280, 480, 0}, problem)) << problem;
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(loadSettingsFile(directory + "/shared/display.ini", 24, problem).width, 1280);
    EXPECT_EQ(
        std::distance(fs::directory_iterator(directory + "/shared"), fs::directory_iterator()), 1);
}

TEST(SettingsFileTest, SavesAtOnceFollowOneAnotherAndAKilledOneDamagesNothing) {
    const std::string path = settingsIn("race");
    // Large, so that saves overlap; the third saver is killed at varying points.
    const std::string original = "[Settings]\n;" + std::string(768 << 10, 'x') + "\n";
    const DisplaySettings saves[3] = {{false, 800, 600, 16}, {true, 1024, 768, 32}, kSaved};
    int damaged = 0;
    int failed = 0;
    for (int round = 0; round < 40; ++round) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << original;
        pid_t savers[3];
        for (int i = 0; i < 3; ++i) {
            std::string problem;
            if ((savers[i] = fork()) == 0) {
                _exit(saveSettingsFile(path, saves[i], problem) ? 0 : 1);
            }
        }
        usleep(static_cast<useconds_t>(round % 8) * 1000);
        kill(savers[2], SIGKILL);
        for (int i = 0; i < 3; ++i) {
            int status = 0;
            waitpid(savers[i], &status, 0);
            failed += i < 2 && !(WIFEXITED(status) && WEXITSTATUS(status) == 0) ? 1 : 0;
        }
        bool whole = false;
        for (const DisplaySettings& saved : saves) {
            whole = whole || readText(path) == editSettingsText(original, saved);
        }
        damaged += whole ? 0 : 1;
    }
    EXPECT_EQ(damaged, 0) << "of 40 rounds";
    EXPECT_EQ(failed, 0) << "of 80 saves";
    // The next save clears what killed saves left, of either naming, and no
    // other file of the folder, however like a leftover it looks.
    const std::string directory = fs::path(path).parent_path();
    const char* leftovers[] = {".Brightforge.INI.new", ".Brightforge.INI.4242.new"};
    const char* others[] = {
        "Brightforge.INI.new",      "xBrightforge.INI.new",    ".Brightforge.INI",
        ".Brightforge.INI.old",     ".Brightforge.IN.new",     ".Crightforge.INI.new",
        ".Brightforge.INIx7.new",   ".Brightforge.INI.7x.new", ".Brightforge.INI..new",
        ".Brightforge.INI.7.7.new", ".Brightforge.INI.7.newt", ".Brightforge.INI.7.nex"};
    for (const char* name : leftovers) {
        std::ofstream(directory + "/" + name) << "half";
    }
    for (const char* name : others) {
        std::ofstream(directory + "/" + name) << name;
    }
    std::string problem;
    ASSERT_TRUE(saveSettingsFile(path, kSaved, problem)) << problem;
    for (const char* name : leftovers) {
        EXPECT_FALSE(fs::exists(directory + "/" + name)) << name;
    }
    for (const char* name : others) {
        EXPECT_EQ(readText(directory + "/" + name), name);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), fs::directory_iterator()),
              static_cast<std::ptrdiff_t>(1 + std::size(others)));

    // A save kept waiting past its limit by another program's fails, saying
    // so, and changes nothing.
    const int holder = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    const std::string before = snapshot(directory);
    EXPECT_FALSE(saveSettingsFile(path, DisplaySettings{}, problem));
    EXPECT_EQ(problem, "is being saved by another program that has not finished in 10 s");
    EXPECT_EQ(snapshot(directory), before);
    close(holder);
}

}  // namespace

// The pictures folder as the desktop names it in user-dirs.dirs, after
// $XDG_PICTURES_DIR and before ~/Pictures.
TEST(LinuxPathsTest, PicturesFolderFromTheUserDirsFile) {
    const std::string home = testing_support::scratchPath("user-dirs");
    fs::remove_all(home);
    fs::create_directories(home + "/.config");
    fs::create_directories(home + "/cfg");
    std::ofstream(home + "/.config/user-dirs.dirs") << "# written by the desktop\n"
                                                       "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                                       "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
    std::ofstream(home + "/cfg/user-dirs.dirs") << "XDG_PICTURES_DIR=\"/srv/shots\"";
    std::string note;
    EXPECT_EQ(picturesFolder(nullptr, nullptr, home.c_str(), "", note), home + "/Bilder");
    // XDG_CONFIG_HOME says where the file is; relative, it is ignored.
    const std::string config = home + "/cfg";
    EXPECT_EQ(picturesFolder(nullptr, config.c_str(), home.c_str(), "", note), "/srv/shots");
    EXPECT_EQ(picturesFolder(nullptr, "cfg", home.c_str(), "", note), home + "/Bilder");
    // The variable itself comes first; without a file, ~/Pictures.
    EXPECT_EQ(picturesFolder("/p", nullptr, home.c_str(), "", note), "/p");
    EXPECT_EQ(picturesFolder(nullptr, "/nowhere", home.c_str(), "", note), home + "/Pictures");
    // An unusable HOME: the user database's home stands in for $HOME in the file.
    EXPECT_EQ(picturesFolder(nullptr, nullptr, "", home, note), home + "/Bilder");
    EXPECT_NE(note, "");

    // The file's lines: spaces around the name, escapes and "$HOME" alone;
    // the last line counts; anything not in the desktop's form names nothing.
    const std::string key = "XDG_PICTURES_DIR";
    EXPECT_EQ(userDirsFolder(" XDG_PICTURES_DIR = \"$HOME/My \\\"Shots\\\"\"", key, "/h"),
              "/h/My \"Shots\"");
    EXPECT_EQ(userDirsFolder("XDG_PICTURES_DIR=\"$HOME\"", key, "/h"), "/h");
    EXPECT_EQ(userDirsFolder("XDG_PICTURES_DIR=\"/a\"\nXDG_PICTURES_DIR=\"/b\"\n", key, "/h"),
              "/b");
    for (const char* text :
         {"XDG_PICTURES_DIR=\"Pictures\"", "XDG_PICTURES_DIR=\"$HOMEX/p\"", "XDG_PICTURES_DIR=/p",
          "XDG_PICTURES_DIR=\"/cut", "# XDG_PICTURES_DIR=\"/p\"", "XDG_PICTURES_DIRS=\"/p\"",
          "XDG_MUSIC_DIR=\"/p\"", "XDG_PICTURES_DIR=\"\"", ""}) {
        EXPECT_EQ(userDirsFolder(text, key, "/h"), "") << text;
    }
    EXPECT_EQ(userDirsFolder("XDG_PICTURES_DIR=\"$HOME/p\"", key, ""), "");
}

TEST(LinuxPathsTest, SettingsUnderXdgOrHomeFoldersMadePrivateDataSetFoundWhole) {
    std::string note;
    EXPECT_EQ(settingsFilePath("/x/cfg", "/home/u", "/db", note),
              "/x/cfg/glasswake/Brightforge.INI");
    EXPECT_EQ(note, "");
    // Unset, empty and relative XDG_CONFIG_HOME are ignored, as the base directory rules ask.
    for (const char* xdg : {static_cast<const char*>(nullptr), "", "cfg"}) {
        EXPECT_EQ(settingsFilePath(xdg, "/home/u", "/db", note),
                  "/home/u/.config/glasswake/Brightforge.INI");
    }
    // No usable HOME: never the starting folder, but the user database's
    // home, or no file at all; either way the note says why.
    EXPECT_EQ(settingsFilePath(nullptr, "u", "/db", note), "/db/.config/glasswake/Brightforge.INI");
    EXPECT_EQ(note,
              "HOME is not an absolute folder (\"u\"); the home the user database names, "
              "/db, is used");
    EXPECT_EQ(settingsFilePath("", nullptr, "", note), "");
    EXPECT_EQ(note,
              "HOME is not set and the user database names no home either: the settings are "
              "neither read nor saved");
    EXPECT_EQ(picturesFolder("/p", nullptr, "/home/u", "/db", note), "/p");
    EXPECT_EQ(picturesFolder("p", nullptr, "", "/db", note), "/db/Pictures");
    EXPECT_EQ(picturesFolder(nullptr, nullptr, "/home/u", "", note), "/home/u/Pictures");

    const std::string base = testing_support::scratchPath("xdg");
    fs::remove_all(base);
    std::string problem;
    ASSERT_TRUE(makeParentFolders(base + "/cfg/glasswake/Brightforge.INI", problem)) << problem;
    EXPECT_EQ(fs::status(base + "/cfg/glasswake").permissions(), fs::perms::owner_all);
    std::ofstream(base + "/file").put('x');
    EXPECT_FALSE(makeParentFolders(base + "/file/glasswake/Brightforge.INI", problem));
    EXPECT_EQ(problem, "cannot make the folder " + base + "/file/glasswake (Not a directory)");

    // A data/ lacking one file is passed over, the first whole one taken; every folder is named.
    fs::create_directories(base + "/data");
    fs::copy(testing_support::sourcePath("data/base2.lwo"), base + "/data/base2.lwo");
    const std::string source = testing_support::sourcePath(".");
    std::string root;
    std::string tried;
    EXPECT_TRUE(findDataRoot({base, source, base + "/cfg"}, root, tried));
    EXPECT_EQ(root, source);
    EXPECT_FALSE(findDataRoot({base, base + "/cfg"}, root, tried));
    EXPECT_EQ(tried, base + "/data, " + base + "/cfg/data");
    // One slash before data/, whether the folder ends in one or is the root,
    // named or (from /) the working directory.
    EXPECT_FALSE(findDataRoot({base + "//", "/"}, root, tried));
    EXPECT_EQ(tried, base + "/data, /data");
    const fs::path here = fs::current_path();
    fs::current_path("/");
    EXPECT_FALSE(findDataRoot({"."}, root, tried));
    fs::current_path(here);
    EXPECT_EQ(tried, "/data");
}
