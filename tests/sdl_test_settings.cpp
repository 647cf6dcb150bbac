#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "app/sdl/settings_file.h"
#include "tests/support.h"

namespace {

namespace fs = std::filesystem;

std::string str(const DisplaySettings& s) {
    return std::to_string(s.fullscreen) + " " + std::to_string(s.width) + "x" +
           std::to_string(s.height) + "x" + std::to_string(s.bitsPerPixel);
}

// Differs from every value the files below hold.
const DisplaySettings kSaved{true, 1024, 768, 16};
#define SAVED_KEYS(eol) "Fullscreen=1" eol "Width=1024" eol "Height=768" eol "BitsPerPixel=16" eol

TEST(SettingsTextTest, ReadsLikeTheProfileCallsAndChangesOnlyTheFourValues) {
    // Each file, what it reads as (desktop depth 24) and, byte for byte, what
    // saving kSaved makes of it.
    const struct {
        const char* text;
        const char* read;
        const char* saved;
    } cases[] = {
        // clang-format off
        {"", "0 640x480x24", "[Settings]\n" SAVED_KEYS("\n")},
        // Lines without '=' are kept, a block body too; new keys follow the section's last line.
        {"[Settings]\njust a line\nlong=<<<END\nbody\nEND\nWidth=800\n", "0 800x480x24",
         "[Settings]\njust a line\nlong=<<<END\nbody\nEND\nWidth=1024\nFullscreen=1\nHeight=768\nBitsPerPixel=16\n"},
        // The first [Settings] section and the first of a key count, names without case; repeats stay.
        {"[Other]\nWidth=1\n[settings]\nWodth=7\nWIDTH=800\nwidth=900\n[Other]\nk=v\n[SETTINGS]\nHeight=5\n", "0 800x480x24",
         "[Other]\nWidth=1\n[settings]\nWodth=7\nWIDTH=1024\nwidth=900\nFullscreen=1\nHeight=768\nBitsPerPixel=16\n[Other]\nk=v\n[SETTINGS]\nHeight=5\n"},
        // Byte order mark, CRLF, spacing, trailing comments, quotes, an empty value, code-page bytes.
        {"\xEF\xBB\xBF[Settings]\r\nName = some value  \r\n  width = 800  ; wide\r\nHEIGHT=600#tall \xE9t\xE9\r\n"
         "Fullscreen =\r\nBitsPerPixel=\"32\"\r\n[ Other ]\r\n", "0 800x600x32",
         "\xEF\xBB\xBF[Settings]\r\nName = some value  \r\n  width = 1024  ; wide\r\nHEIGHT=768#tall \xE9t\xE9\r\n"
         "Fullscreen =1\r\nBitsPerPixel=\"16\"\r\n[ Other ]\r\n"},
        // Commented-out keys and keys with spaces are not ours; comments before a section belong to it.
        {"[Settings]\n;Width=800\n# Height=600\nBits Per Pixel=8\nWidth=;none\n\n; about Other\n[Other]\n", "0 640x480x24",
         "[Settings]\n;Width=800\n# Height=600\nBits Per Pixel=8\nWidth=1024;none\nFullscreen=1\nHeight=768\nBitsPerPixel=16\n\n; about Other\n[Other]\n"},
        // No final line break, in the section or with no section; new lines end like the first.
        {"[Settings]\nWidth=800", "0 800x480x24", "[Settings]\nWidth=1024\nFullscreen=1\nHeight=768\nBitsPerPixel=16"},
        {"[Other]\r\nWidth=5", "0 640x480x24", "[Other]\r\nWidth=5\r\n[Settings]\r\n" SAVED_KEYS("\r\n")},
        // Blanks inside the brackets make another name.
        {"[ Settings ]\nWidth=800\n", "0 640x480x24", "[ Settings ]\nWidth=800\n[Settings]\n" SAVED_KEYS("\n")},
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

// Every entry under `directory`: name, type, mode, owner and content or target.
std::string snapshot(const std::string& directory) {
    std::string out;
    for (const auto& entry : fs::recursive_directory_iterator(directory)) {
        struct stat info {};
        lstat(entry.path().c_str(), &info);
        out += entry.path().string() + " " + std::to_string(info.st_mode) + " " +
               std::to_string(info.st_uid) + " " +
               (entry.is_symlink()        ? fs::read_symlink(entry).string()
                : entry.is_regular_file() ? readText(entry.path().string())
                                          : "") +
               "\n";
    }
    return out;
}

TEST(SettingsFileTest, WhatIsNotOursIsNeitherParsedNorWritten) {
    const struct {
        const char* name;
        std::function<void(const std::string&)> make;
        bool loadRefuses;
    } cases[] = {
        {"huge", [](const std::string& p) { std::ofstream(p) << std::string((1 << 20) + 1, ';'); },
         true},
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
        const DisplaySettings read = loadSettingsFile(path, 24, problem);
        EXPECT_EQ(!problem.empty(), c.loadRefuses) << problem;
        EXPECT_EQ(read.height, 480);
        EXPECT_FALSE(saveSettingsFile(path, kSaved, problem));
        EXPECT_FALSE(problem.empty());
        EXPECT_EQ(snapshot(fs::path(path).parent_path()), before);
    }
}

TEST(SettingsFileTest, SaveReplacesAtomicallyKeepingModeOwnerAndLinks) {
    const std::string path = settingsIn("save");
    const std::string directory = fs::path(path).parent_path();
    std::string problem;
    EXPECT_EQ(str(loadSettingsFile(path, 24, problem)), "0 640x480x24");
    EXPECT_FALSE(fs::exists(path));  // reading never creates the file
    ASSERT_TRUE(saveSettingsFile(path, DisplaySettings{false, 640, 480, 24}, problem)) << problem;
    EXPECT_EQ(readText(path), "[Settings]\nFullscreen=0\nWidth=640\nHeight=480\nBitsPerPixel=24\n");

    // A save killed before its rename left its temporary file: the next one replaces it.
    std::ofstream(directory + "/.Brightforge.INI.new") << "half";
    fs::permissions(directory + "/.Brightforge.INI.new", fs::perms::none);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const bool root = geteuid() == 0;
    if (root) {  // only root can give the file away; the save must give it back
        ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    }
    ASSERT_TRUE(saveSettingsFile(path, kSaved, problem)) << problem;
    EXPECT_EQ(readText(path), "[Settings]\n" SAVED_KEYS("\n"));
    EXPECT_EQ(fs::status(path).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    struct stat info {};
    stat(path.c_str(), &info);
    EXPECT_EQ(info.st_uid, root ? 65534u : geteuid());
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), fs::directory_iterator()), 1);

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

}  // namespace
