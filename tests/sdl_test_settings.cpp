#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/sdl/settings_file.h"
#include "tests/support.h"

namespace {

namespace fs = std::filesystem;

// A fresh directory per test so leftover temporary files can be counted;
// returns the settings path inside it, written with TEXT unless null.
std::string settingsIn(const std::string& name, const char* text = nullptr) {
    const std::string directory = testing_support::scratchPath(name);
    fs::remove_all(directory);
    fs::create_directories(directory);
    const std::string path = directory + "/Brightforge.INI";
    if (text != nullptr) {
        std::ofstream(path, std::ios::binary) << text;
    }
    return path;
}

std::string readText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string str(const DisplaySettings& s) {
    return std::to_string(s.fullscreen) + " " + std::to_string(s.width) + "x" +
           std::to_string(s.height) + "x" + std::to_string(s.bitsPerPixel);
}

std::ptrdiff_t entryCount(const std::string& directory) {
    return std::distance(fs::directory_iterator(directory), fs::directory_iterator());
}

TEST(SettingsFileTest, MissingFileGivesDefaultsAndFirstSaveCreatesThem) {
    const std::string path = settingsIn("missing");
    const DisplaySettings settings = loadSettingsFile(path, 24);
    EXPECT_EQ(str(settings), "0 640x480x24");
    EXPECT_FALSE(fs::exists(path));  // reading never creates the file
    ASSERT_TRUE(saveSettingsFile(path, settings));
    EXPECT_EQ(readText(path), "[Settings]\nFullscreen=0\nWidth=640\nHeight=480\nBitsPerPixel=24\n");
    EXPECT_EQ(entryCount(fs::path(path).parent_path().string()), 1);
}

TEST(SettingsFileTest, ValuesAreReadAsTheProfileCallsDo) {
    // Keys are case-insensitive and read from their own section only; empty counts as
    // missing, no digits as 0, depth is eight bits (256 is 0) and the first key counts.
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        // clang-format off
        {"[Other]\nWidth=111\n[settings]\nFULLSCREEN=1\nwidth = 800\nHeight=600\nBitsPerPixel=16\n", "1 800x600x16"},
        {"[Settings]\nHeight=300\n", "0 640x300x32"},
        {"[Settings]\nFullscreen=0\nWidth=0\nHeight=0\nBitsPerPixel=0\n", "0 640x480x32"},
        {"[Settings]\nWidth=\nHeight=\n", "0 640x480x32"},
        {"[Settings]\nBitsPerPixel=256\n", "0 640x480x0"},
        {"[Settings]\nBitsPerPixel=-8\n", "0 640x480x248"},
        {"[Settings]\nFullscreen=yes\nWidth=-5\nHeight=abc\nBitsPerPixel=16bit\n", "0 -5x480x16"},
        {"[Settings]\nWidth=99999999999999999999\nFullscreen=-1\n", "1 1661992959x480x32"},
        {"[Settings]\nWidth=800\nWidth=900\n", "0 800x480x32"}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(str(loadSettingsFile(settingsIn("read", c.text), 32)), c.expected);
    }
    // Binary junk is no settings file but not a crash either.
    std::string junk(4096, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i) {
        junk[i] = static_cast<char>(i * 151 + 7);
    }
    const std::string path = settingsIn("junk");
    std::ofstream(path, std::ios::binary) << junk;
    EXPECT_EQ(loadSettingsFile(path, 24).width, 640);
}

TEST(SettingsFileTest, SaveKeepsOtherSectionsKeysAndComments) {
    const std::string path = settingsIn(
        "keep",
        "; written by hand\n\n[Audio]\nVolume=7\n; the display\n[Settings]\n"
        "; how wide\nWidth=800\nWidth=900\nGamma=2\nBitsPerPixel=256\n[Network]\nPort=4000\n"
        "; last words\n");
    DisplaySettings settings = loadSettingsFile(path, 24);
    EXPECT_EQ(settings.bitsPerPixel, 0);
    settings = {true, 1024, 768, settings.bitsPerPixel};
    ASSERT_TRUE(saveSettingsFile(path, settings));
    const std::string text = readText(path);
    for (const char* kept : {"; written by hand", "[Audio]", "Volume=7", "; the display", "Gamma=2",
                             "[Network]", "Port=4000", "; last words"}) {
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
    }
    // The replaced key keeps its place after its comment, the duplicate goes,
    // new keys join the section, and 256 is written back as 0.
    EXPECT_NE(text.find("; how wide\nWidth=1024\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Width=900"), std::string::npos) << text;
    for (const char* key : {"Fullscreen=1\n", "Height=768\n", "BitsPerPixel=0\n"}) {
        EXPECT_TRUE(text.find(key) > text.find("[Settings]") &&
                    text.find(key) < text.find("[Network]"))
            << key;
    }
    // Saving again changes nothing: no comment is duplicated or lost.
    ASSERT_TRUE(saveSettingsFile(path, settings));
    EXPECT_EQ(readText(path), text);
}

TEST(SettingsFileTest, SaveReplacesAtomicallyKeepingModeAndLinks) {
    const std::string path = settingsIn("atomic", "[Settings]\nWidth=800\n");
    const std::string directory = fs::path(path).parent_path().string();
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const auto modeBefore = fs::status(path).permissions();
    ASSERT_TRUE(saveSettingsFile(path, DisplaySettings{}));
    EXPECT_EQ(entryCount(directory), 1);  // no temporary file left
    EXPECT_EQ(fs::status(path).permissions(), modeBefore);
    EXPECT_EQ(loadSettingsFile(path, 24).width, 640);

    // A linked file is updated where it lives; the link stays.
    fs::create_directories(directory + "/shared");
    const std::string real = directory + "/shared/display.ini";
    fs::rename(path, real);
    fs::create_symlink("shared/display.ini", path);
    ASSERT_TRUE(saveSettingsFile(path, DisplaySettings{false, 1280, 480, 0}));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(loadSettingsFile(real, 24).width, 1280);
    EXPECT_EQ(entryCount(directory + "/shared"), 1);
}

TEST(SettingsFileTest, FailedSaveChangesNothing) {
    // The settings path is a directory: it cannot be read, nor replaced.
    const std::string path = settingsIn("blocked");
    const std::string directory = fs::path(path).parent_path().string();
    fs::create_directories(path);
    std::ofstream(path + "/inside") << "kept";
    EXPECT_FALSE(saveSettingsFile(path, DisplaySettings{}));
    EXPECT_EQ(readText(path + "/inside"), "kept");
    EXPECT_EQ(entryCount(directory), 1);
    EXPECT_EQ(loadSettingsFile(path, 24).width, 640);
    // A directory that does not exist: nothing is created anywhere.
    EXPECT_FALSE(saveSettingsFile(directory + "/missing/Brightforge.INI", DisplaySettings{}));
    EXPECT_EQ(entryCount(directory), 1);
}

}  // namespace
