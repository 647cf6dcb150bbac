#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
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
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::size_t entryCount(const std::string& directory) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory)) {
        ++count;
    }
    return count;
}

TEST(SettingsFileTest, MissingFileGivesDefaultsAndFirstSaveCreatesThem) {
    const std::string path = settingsIn("missing");
    const DisplaySettings settings = loadSettingsFile(path, 24);
    EXPECT_FALSE(settings.fullscreen);
    EXPECT_EQ(settings.width, 640);
    EXPECT_EQ(settings.height, 480);
    EXPECT_EQ(settings.bitsPerPixel, 24);
    EXPECT_FALSE(fs::exists(path));  // reading never creates the file
    ASSERT_TRUE(saveSettingsFile(path, settings));
    EXPECT_EQ(readText(path), "[Settings]\nFullscreen=0\nWidth=640\nHeight=480\nBitsPerPixel=24\n");
    EXPECT_EQ(entryCount(fs::path(path).parent_path().string()), 1u);
}

TEST(SettingsFileTest, ValuesAreReadAsTheProfileCallsDo) {
    const struct {
        const char* text;
        bool fullscreen;
        int width, height, bitsPerPixel;
    } cases[] = {
        // Case-insensitive keys, from their own section only.
        {"[Other]\nWidth=111\n[settings]\nFULLSCREEN=1\nwidth = 800\nHeight=600\nBitsPerPixel=16\n",
         true, 800, 600, 16},
        {"[Settings]\nHeight=300\n", false, 640, 300, 32},  // missing keys
        {"[Settings]\nFullscreen=0\nWidth=0\nHeight=0\nBitsPerPixel=0\n", false, 640, 480, 32},
        {"[Settings]\nWidth=\nHeight=\n", false, 640, 480, 32},  // empty counts as missing
        {"[Settings]\nBitsPerPixel=256\n", false, 640, 480, 0},  // eight bits, not the desktop's
        {"[Settings]\nBitsPerPixel=-8\n", false, 640, 480, 248},
        // No digits read as 0 (and Height 0 means 480).
        {"[Settings]\nFullscreen=yes\nWidth=-5\nHeight=abc\nBitsPerPixel=16bit\n", false, -5, 480,
         16},
        {"[Settings]\nWidth=99999999999999999999\nFullscreen=-1\n", true, 1661992959, 480, 32},
        {"[Settings]\nWidth=800\nWidth=900\n", false, 800, 480, 32},  // the first key counts
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const DisplaySettings s = loadSettingsFile(settingsIn("read", c.text), 32);
        EXPECT_EQ(s.fullscreen, c.fullscreen);
        EXPECT_EQ(s.width, c.width);
        EXPECT_EQ(s.height, c.height);
        EXPECT_EQ(s.bitsPerPixel, c.bitsPerPixel);
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
    settings.fullscreen = true;
    settings.width = 1024;
    settings.height = 768;
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
    const std::size_t section = text.find("[Settings]");
    const std::size_t network = text.find("[Network]");
    for (const char* key : {"Fullscreen=1\n", "Height=768\n", "BitsPerPixel=0\n"}) {
        const std::size_t at = text.find(key);
        EXPECT_TRUE(at > section && at < network) << key;
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
    EXPECT_EQ(entryCount(directory), 1u);  // no temporary file left
    EXPECT_EQ(fs::status(path).permissions(), modeBefore);
    EXPECT_EQ(loadSettingsFile(path, 24).width, 640);

    // A linked file is updated where it lives; the link stays.
    fs::create_directories(directory + "/shared");
    const std::string real = directory + "/shared/display.ini";
    fs::rename(path, real);
    fs::create_symlink("shared/display.ini", path);
    DisplaySettings settings;
    settings.width = 1280;
    ASSERT_TRUE(saveSettingsFile(path, settings));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(loadSettingsFile(real, 24).width, 1280);
    EXPECT_EQ(entryCount(directory + "/shared"), 1u);
}

TEST(SettingsFileTest, FailedSaveChangesNothing) {
    // The settings path is a directory: it cannot be read, nor replaced.
    const std::string path = settingsIn("blocked");
    const std::string directory = fs::path(path).parent_path().string();
    fs::create_directories(path);
    std::ofstream(path + "/inside") << "kept";
    EXPECT_FALSE(saveSettingsFile(path, DisplaySettings{}));
    EXPECT_EQ(readText(path + "/inside"), "kept");
    EXPECT_EQ(entryCount(directory), 1u);
    EXPECT_EQ(loadSettingsFile(path, 24).width, 640);
    // A directory that does not exist: nothing is created anywhere.
    EXPECT_FALSE(saveSettingsFile(directory + "/missing/Brightforge.INI", DisplaySettings{}));
    EXPECT_EQ(entryCount(directory), 1u);
}

}  // namespace
