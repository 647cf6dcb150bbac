#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/sdl/settings_file.h"
#include "tests/support.h"

namespace {

namespace fs = std::filesystem;

// A fresh directory per test so leftover temporary files can be counted.
std::string freshDirectory(const std::string& name) {
    const std::string directory = testing_support::scratchPath(name);
    fs::remove_all(directory);
    fs::create_directories(directory);
    return directory;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
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

DisplaySettings loadText(const std::string& name, const std::string& text, int depth = 24) {
    const std::string path = freshDirectory(name) + "/Brightforge.INI";
    writeText(path, text);
    return loadSettingsFile(path, depth);
}

TEST(SettingsFileTest, MissingFileGivesDefaultsAndFirstSaveCreatesThem) {
    const std::string directory = freshDirectory("missing");
    const std::string path = directory + "/Brightforge.INI";
    const DisplaySettings settings = loadSettingsFile(path, 24);
    EXPECT_FALSE(settings.fullscreen);
    EXPECT_EQ(settings.width, 640);
    EXPECT_EQ(settings.height, 480);
    EXPECT_EQ(settings.bitsPerPixel, 24);
    EXPECT_FALSE(fs::exists(path));  // reading never creates the file

    ASSERT_TRUE(saveSettingsFile(path, settings));
    EXPECT_EQ(readText(path), "[Settings]\nFullscreen=0\nWidth=640\nHeight=480\nBitsPerPixel=24\n");
    EXPECT_EQ(entryCount(directory), 1u);
}

TEST(SettingsFileTest, KeysAreReadCaseInsensitivelyFromTheirSectionOnly) {
    const DisplaySettings settings =
        loadText("read",
                 "[Other]\nWidth=111\n[settings]\nFULLSCREEN=1\nwidth = 800\n"
                 "Height=600\nBitsPerPixel=16\n");
    EXPECT_TRUE(settings.fullscreen);
    EXPECT_EQ(settings.width, 800);
    EXPECT_EQ(settings.height, 600);
    EXPECT_EQ(settings.bitsPerPixel, 16);
}

TEST(SettingsFileTest, MissingKeysAndZerosGiveDefaults) {
    DisplaySettings settings = loadText("missing_keys", "[Settings]\nHeight=300\n", 32);
    EXPECT_FALSE(settings.fullscreen);
    EXPECT_EQ(settings.width, 640);
    EXPECT_EQ(settings.height, 300);
    EXPECT_EQ(settings.bitsPerPixel, 32);

    settings =
        loadText("zeros", "[Settings]\nFullscreen=0\nWidth=0\nHeight=0\nBitsPerPixel=0\n", 16);
    EXPECT_EQ(settings.width, 640);
    EXPECT_EQ(settings.height, 480);
    EXPECT_EQ(settings.bitsPerPixel, 16);

    // An empty value counts as missing.
    settings = loadText("empty_values", "[Settings]\nWidth=\nHeight=\n");
    EXPECT_EQ(settings.width, 640);
    EXPECT_EQ(settings.height, 480);
}

TEST(SettingsFileTest, BitsPerPixelIsEightBitsWide) {
    const std::string directory = freshDirectory("bpp256");
    const std::string path = directory + "/Brightforge.INI";
    writeText(path, "[Settings]\nBitsPerPixel=256\n");
    const DisplaySettings settings = loadSettingsFile(path, 24);
    EXPECT_EQ(settings.bitsPerPixel, 0);  // not the desktop's depth
    ASSERT_TRUE(saveSettingsFile(path, settings));
    EXPECT_NE(readText(path).find("BitsPerPixel=0\n"), std::string::npos);

    EXPECT_EQ(loadText("bpp_negative", "[Settings]\nBitsPerPixel=-8\n").bitsPerPixel, 248);
}

TEST(SettingsFileTest, NegativeAndGarbageValuesAreReadAsTheProfileCallsDo) {
    DisplaySettings settings = loadText(
        "garbage", "[Settings]\nFullscreen=yes\nWidth=-5\nHeight=abc\nBitsPerPixel=16bit\n");
    EXPECT_FALSE(settings.fullscreen);  // no digits: 0
    EXPECT_EQ(settings.width, -5);
    EXPECT_EQ(settings.height, 480);  // no digits: 0, and 0 means 480
    EXPECT_EQ(settings.bitsPerPixel, 16);

    settings = loadText("huge", "[Settings]\nWidth=99999999999999999999\nFullscreen=-1\n");
    EXPECT_TRUE(settings.fullscreen);

    // Binary junk is no settings file but not a crash either.
    std::string junk(4096, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i) {
        junk[i] = static_cast<char>(i * 151 + 7);
    }
    settings = loadText("junk", junk);
    EXPECT_EQ(settings.width, 640);
    EXPECT_EQ(settings.height, 480);
}

TEST(SettingsFileTest, FirstOfTwoKeysCountsAndSaveLeavesOne) {
    const std::string directory = freshDirectory("duplicates");
    const std::string path = directory + "/Brightforge.INI";
    writeText(path, "[Settings]\nWidth=800\nWidth=900\n");
    DisplaySettings settings = loadSettingsFile(path, 24);
    EXPECT_EQ(settings.width, 800);
    settings.width = 1024;
    ASSERT_TRUE(saveSettingsFile(path, settings));
    EXPECT_EQ(loadSettingsFile(path, 24).width, 1024);
    const std::string text = readText(path);
    EXPECT_EQ(text.find("Width=800"), std::string::npos);
    EXPECT_EQ(text.find("Width=900"), std::string::npos);
}

TEST(SettingsFileTest, SaveKeepsOtherSectionsKeysAndComments) {
    const std::string directory = freshDirectory("keep");
    const std::string path = directory + "/Brightforge.INI";
    writeText(path,
              "; written by hand\n\n[Audio]\nVolume=7\n; the display\n[Settings]\n"
              "; how wide\nWidth=800\nGamma=2\n[Network]\nPort=4000\n; last words\n");
    DisplaySettings settings;
    settings.fullscreen = true;
    settings.width = 1024;
    settings.height = 768;
    settings.bitsPerPixel = 32;
    ASSERT_TRUE(saveSettingsFile(path, settings));
    const std::string text = readText(path);
    for (const char* kept : {"; written by hand", "[Audio]", "Volume=7", "; the display",
                             "; how wide", "Gamma=2", "[Network]", "Port=4000", "; last words"}) {
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
    }
    // The replaced key keeps its place after its comment; new keys join the section.
    EXPECT_NE(text.find("; how wide\nWidth=1024\n"), std::string::npos) << text;
    const std::size_t section = text.find("[Settings]");
    const std::size_t network = text.find("[Network]");
    for (const char* key : {"Fullscreen=1\n", "Height=768\n", "BitsPerPixel=32\n"}) {
        const std::size_t at = text.find(key);
        EXPECT_TRUE(at > section && at < network) << key;
    }
    // Saving again changes nothing: no comment is duplicated or lost.
    ASSERT_TRUE(saveSettingsFile(path, settings));
    EXPECT_EQ(readText(path), text);
    const DisplaySettings back = loadSettingsFile(path, 24);
    EXPECT_TRUE(back.fullscreen);
    EXPECT_EQ(back.width, 1024);
    EXPECT_EQ(back.height, 768);
    EXPECT_EQ(back.bitsPerPixel, 32);
}

TEST(SettingsFileTest, SavedValuesAreTheSettingsRoundTripped) {
    const std::string directory = freshDirectory("roundtrip");
    const std::string path = directory + "/Brightforge.INI";
    DisplaySettings settings;
    settings.width = -5;
    settings.height = 100000;
    settings.bitsPerPixel = 255;
    ASSERT_TRUE(saveSettingsFile(path, settings));
    const DisplaySettings back = loadSettingsFile(path, 24);
    EXPECT_EQ(back.width, -5);
    EXPECT_EQ(back.height, 100000);
    EXPECT_EQ(back.bitsPerPixel, 255);
}

TEST(SettingsFileTest, SaveReplacesAtomicallyAndLeavesNoTemporaryFile) {
    const std::string directory = freshDirectory("atomic");
    const std::string path = directory + "/Brightforge.INI";
    writeText(path, "[Settings]\nWidth=800\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const auto modeBefore = fs::status(path).permissions();
    DisplaySettings settings;
    ASSERT_TRUE(saveSettingsFile(path, settings));
    EXPECT_EQ(entryCount(directory), 1u);
    EXPECT_EQ(fs::status(path).permissions(), modeBefore);  // the new file keeps the old mode
    EXPECT_EQ(loadSettingsFile(path, 24).width, 640);
}

TEST(SettingsFileTest, FailedSaveChangesNothing) {
    // The settings path is a directory: it cannot be read, nor replaced.
    const std::string directory = freshDirectory("blocked");
    const std::string path = directory + "/Brightforge.INI";
    fs::create_directories(path);
    writeText(path + "/inside", "kept");
    EXPECT_FALSE(saveSettingsFile(path, DisplaySettings{}));
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(readText(path + "/inside"), "kept");
    EXPECT_EQ(entryCount(directory), 1u);
    EXPECT_EQ(loadSettingsFile(path, 24).width, 640);  // and reads as the defaults

    // A directory that does not exist: nothing is created anywhere.
    const std::string nowhere = directory + "/missing/Brightforge.INI";
    EXPECT_FALSE(saveSettingsFile(nowhere, DisplaySettings{}));
    EXPECT_FALSE(fs::exists(directory + "/missing"));
    EXPECT_EQ(entryCount(directory), 1u);
}

TEST(SettingsFileTest, LinkedFileIsUpdatedWhereItLives) {
    const std::string directory = freshDirectory("linked");
    fs::create_directories(directory + "/shared");
    const std::string real = directory + "/shared/display.ini";
    writeText(real, "[Settings]\nWidth=800\n");
    const std::string path = directory + "/Brightforge.INI";
    fs::create_symlink("shared/display.ini", path);
    DisplaySettings settings = loadSettingsFile(path, 24);
    EXPECT_EQ(settings.width, 800);
    settings.width = 1280;
    ASSERT_TRUE(saveSettingsFile(path, settings));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(loadSettingsFile(real, 24).width, 1280);
    EXPECT_EQ(entryCount(directory + "/shared"), 1u);
    EXPECT_EQ(entryCount(directory), 2u);
}

}  // namespace
