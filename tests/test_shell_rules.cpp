#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "app/shell_rules.h"

namespace {

// fullscreen, width x height x depth: compares whole settings with a readable failure.
std::string str(const DisplaySettings& s) {
    return std::to_string(s.fullscreen) + " " + std::to_string(s.width) + "x" +
           std::to_string(s.height) + "x" + std::to_string(s.bitsPerPixel);
}

bool fullscreenAfter(const std::string& argumentText, bool before) {
    DisplaySettings settings;
    settings.fullscreen = before;
    applyCommandLine(settings, argumentText);
    return settings.fullscreen;
}

TEST(CommandLineTest, FullscreenSwitchRules) {
    // The off form wins, even first; other text, upper case included, changes nothing.
    const struct {
        const char* text;
        bool before, after;
    } cases[] = {// clang-format off
        {"-fullscreen", false, true}, {"foo -fullscreenish bar", false, true},
        {"-fullscreen=0", true, false}, {"-fullscreen=0 -fullscreen", false, false},
        {"x-fullscreen=01", true, false}, {"-FULLSCREEN", false, false},
        {"-FULLSCREEN=0", true, true}, {"fullscreen", false, false}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(fullscreenAfter(c.text, c.before), c.after);
    }
    const char* none[] = {"glasswake"};
    EXPECT_EQ(joinArguments(1, none), "");
    const char* some[] = {"glasswake", "-fullscreen", "", "b c"};
    EXPECT_EQ(joinArguments(4, some), "-fullscreen  b c");
    // Split arguments can form the switch once joined, as they would in one text.
    const char* split[] = {"/path/-fullscreen", "-fullscreen=", "0"};
    EXPECT_EQ(joinArguments(3, split), "-fullscreen= 0");
    EXPECT_TRUE(fullscreenAfter(joinArguments(3, split), false));
}

TEST(FailureTextTest, TheReasonGoesOnTheLineBelowTheFixedText) {
    EXPECT_EQ(failureText(kPreInitFailed, "data/crystal2.lwo: No such file or directory"),
              std::string(kPreInitFailed.text) + "\ndata/crystal2.lwo: No such file or directory");
    EXPECT_EQ(failureText(kInitFailed, ""), kInitFailed.text);
    EXPECT_EQ(failureText(kInitFailed, nullptr), kInitFailed.text);
}

TEST(ProfileIntTest, ReadsLikeTheProfileCalls) {
    // Missing or empty: the default; garbage: 0; huge values wrap to 32 bits.
    const std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    const struct {
        const char* text;
        int fallback;
        std::int32_t expected;
    } cases[] = {{nullptr, 640, 640},    {"", 480, 480},          {"800", 640, 800},
                 {" \t1024", 640, 1024}, {"+32", 0, 32},          {"-5", 640, -5},
                 {"12abc", 0, 12},       {"abc", 640, 0},         {" ", 480, 0},
                 {"4294967296", 1, 0},   {"2147483648", 1, kMin}, {"-2147483648", 1, kMin},
                 {"4294967295", 1, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text != nullptr ? c.text : "(null)");
        EXPECT_EQ(parseProfileInt(c.text, c.fallback), c.expected);
    }
    const std::string nines(1000, '9');
    EXPECT_EQ(parseProfileInt(nines.c_str(), 1), parseProfileInt(nines.c_str(), 2));
}

TEST(SettingsRulesTest, DefaultsZerosEightBitDepthAndRoundTrip) {
    const std::string size = std::to_string(kDefaultWidth) + "x" + std::to_string(kDefaultHeight);
    EXPECT_EQ(str(settingsFromProfile(kDefaultFullscreen, kDefaultWidth, kDefaultHeight,
                                      kDefaultBitsPerPixel, 24)),
              "0 " + size + "x24");
    EXPECT_EQ(str(settingsFromProfile(0, 0, 0, 0, 32)), "0 " + size + "x32");
    // The depth is cut to eight bits after the zero test: 256 gives 0, not the desktop's.
    EXPECT_EQ(str(settingsFromProfile(0, 640, 480, 256, 24)), "0 640x480x0");
    EXPECT_EQ(str(settingsFromProfile(0, 640, 480, -1, 24)), "0 640x480x255");
    EXPECT_EQ(str(settingsFromProfile(0, 640, 480, 0, 280)), "0 640x480x24");
    EXPECT_EQ(str(settingsFromProfile(-7, -5, 100000, 32, 24)), "1 -5x100000x32");

    const DisplaySettings s{true, std::numeric_limits<std::int32_t>::min(), 480, 255};
    const SettingsText text = formatSettings(s);
    EXPECT_STREQ(text.width, "-2147483648");
    const DisplaySettings back = settingsFromProfile(
        parseProfileInt(text.fullscreen, kDefaultFullscreen),
        parseProfileInt(text.width, kDefaultWidth), parseProfileInt(text.height, kDefaultHeight),
        parseProfileInt(text.bitsPerPixel, kDefaultBitsPerPixel), 24);
    EXPECT_EQ(str(back), str(s));
}

TEST(FrameClockTest, WholeMillisecondsWithoutOverflow) {
    EXPECT_EQ(frameTimeFromCounter(1000 + 999, 1000, 1000000), 0u);
    EXPECT_EQ(frameTimeFromCounter(1000 + 1000, 1000, 1000000), 1u);
    EXPECT_EQ(frameTimeFromCounter(10, 0, 3), 3333u);
    EXPECT_EQ(frameTimeFromCounter(5, 0, 0), 0u);
    // Wraps after 2^32 ms; 200 days of nanoseconds would overflow the plain product.
    EXPECT_EQ(frameTimeFromCounter((std::int64_t{1} << 32) * 1000 + 5000, 0, 1000000), 5u);
    const std::int64_t frequency = 1000000000;
    EXPECT_EQ(frameTimeFromCounter(std::int64_t{200} * 86400 * frequency, 0, frequency),
              static_cast<std::uint32_t>(std::int64_t{200} * 86400 * 1000));
    EXPECT_EQ(viewportHeight(0), 1);
    EXPECT_EQ(viewportHeight(480), 480);
}

}  // namespace
