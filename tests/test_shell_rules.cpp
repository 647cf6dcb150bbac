#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "app/shell_rules.h"

namespace {

bool fullscreenAfter(const std::string& argumentText, bool before) {
    DisplaySettings settings;
    settings.fullscreen = before;
    applyCommandLine(settings, argumentText);
    return settings.fullscreen;
}

TEST(CommandLineTest, FullscreenSwitchAndItsOffForm) {
    EXPECT_TRUE(fullscreenAfter("-fullscreen", false));
    EXPECT_TRUE(fullscreenAfter("-fullscreen=1", false));
    EXPECT_TRUE(fullscreenAfter("foo -fullscreenish bar", false));
    // The off form always wins, in either order and wherever it stands.
    EXPECT_FALSE(fullscreenAfter("-fullscreen=0", true));
    EXPECT_FALSE(fullscreenAfter("-fullscreen -fullscreen=0", false));
    EXPECT_FALSE(fullscreenAfter("-fullscreen=0 -fullscreen", false));
    EXPECT_FALSE(fullscreenAfter("x-fullscreen=01", true));
}

TEST(CommandLineTest, OtherTextLeavesTheSettingAlone) {
    EXPECT_FALSE(fullscreenAfter("-FULLSCREEN", false));
    EXPECT_TRUE(fullscreenAfter("-FULLSCREEN=0", true));
    EXPECT_TRUE(fullscreenAfter("", true));
    EXPECT_FALSE(fullscreenAfter("-full screen", false));
    EXPECT_FALSE(fullscreenAfter("fullscreen", false));
}

TEST(CommandLineTest, ArgumentsAreJoinedBySingleSpaces) {
    const char* none[] = {"glasswake"};
    EXPECT_EQ(joinArguments(1, none), "");
    const char* some[] = {"glasswake", "-fullscreen", "", "b c"};
    EXPECT_EQ(joinArguments(4, some), "-fullscreen  b c");
    // Split arguments can form the switch once joined, as they would in one text.
    const char* split[] = {"/path/-fullscreen", "-fullscreen=", "0"};
    EXPECT_EQ(joinArguments(3, split), "-fullscreen= 0");
    EXPECT_TRUE(fullscreenAfter(joinArguments(3, split), false));
}

TEST(ProfileIntTest, MissingOrEmptyGivesTheDefault) {
    EXPECT_EQ(parseProfileInt(nullptr, 640), 640);
    EXPECT_EQ(parseProfileInt("", 480), 480);
}

TEST(ProfileIntTest, DecimalWithSignAndTrailingText) {
    EXPECT_EQ(parseProfileInt("800", 640), 800);
    EXPECT_EQ(parseProfileInt("  1024", 640), 1024);
    EXPECT_EQ(parseProfileInt("+32", 0), 32);
    EXPECT_EQ(parseProfileInt("-5", 640), -5);
    EXPECT_EQ(parseProfileInt("12abc", 0), 12);
    EXPECT_EQ(parseProfileInt("1e3", 0), 1);
    EXPECT_EQ(parseProfileInt("0x20", 7), 0);
}

TEST(ProfileIntTest, GarbageIsZeroNotTheDefault) {
    EXPECT_EQ(parseProfileInt("abc", 640), 0);
    EXPECT_EQ(parseProfileInt("-", 640), 0);
    EXPECT_EQ(parseProfileInt(" ", 480), 0);
}

TEST(ProfileIntTest, HugeValuesWrapToThirtyTwoBits) {
    EXPECT_EQ(parseProfileInt("4294967296", 1), 0);
    EXPECT_EQ(parseProfileInt("4294967297", 1), 1);
    EXPECT_EQ(parseProfileInt("2147483648", 1), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(parseProfileInt("-2147483648", 1), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(parseProfileInt("4294967295", 1), -1);
    // A very long digit string neither crashes nor overflows.
    EXPECT_EQ(parseProfileInt(std::string(1000, '9').c_str(), 1),
              parseProfileInt(std::string(1000, '9').c_str(), 2));
}

TEST(SettingsRulesTest, DefaultsGiveWindowedVgaAtDesktopDepth) {
    const DisplaySettings s = settingsFromProfile(kDefaultFullscreen, kDefaultWidth, kDefaultHeight,
                                                  kDefaultBitsPerPixel, 24);
    EXPECT_FALSE(s.fullscreen);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 480);
    EXPECT_EQ(s.bitsPerPixel, 24);
}

TEST(SettingsRulesTest, ZerosBecomeDefaults) {
    const DisplaySettings s = settingsFromProfile(0, 0, 0, 0, 32);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 480);
    EXPECT_EQ(s.bitsPerPixel, 32);
}

TEST(SettingsRulesTest, BitsPerPixelIsCutToEightBitsAfterTheZeroTest) {
    EXPECT_EQ(settingsFromProfile(0, 640, 480, 256, 24).bitsPerPixel, 0);
    EXPECT_EQ(settingsFromProfile(0, 640, 480, 272, 24).bitsPerPixel, 16);
    EXPECT_EQ(settingsFromProfile(0, 640, 480, -1, 24).bitsPerPixel, 255);
    EXPECT_EQ(settingsFromProfile(0, 640, 480, 16, 24).bitsPerPixel, 16);
    EXPECT_EQ(settingsFromProfile(0, 640, 480, 0, 280).bitsPerPixel, 24);
}

TEST(SettingsRulesTest, OtherValuesAreKeptUnbounded) {
    const DisplaySettings s = settingsFromProfile(-7, -5, 100000, 32, 24);
    EXPECT_TRUE(s.fullscreen);
    EXPECT_EQ(s.width, -5);
    EXPECT_EQ(s.height, 100000);
    EXPECT_TRUE(settingsFromProfile(2, 1, 1, 1, 24).fullscreen);
}

TEST(SettingsRulesTest, WrittenTextRoundTrips) {
    DisplaySettings s;
    s.fullscreen = true;
    s.width = std::numeric_limits<std::int32_t>::min();
    s.height = 480;
    s.bitsPerPixel = 255;
    const SettingsText text = formatSettings(s);
    EXPECT_STREQ(text.fullscreen, "1");
    EXPECT_STREQ(text.width, "-2147483648");
    EXPECT_STREQ(text.height, "480");
    EXPECT_STREQ(text.bitsPerPixel, "255");

    const DisplaySettings back = settingsFromProfile(
        parseProfileInt(text.fullscreen, 0), parseProfileInt(text.width, 640),
        parseProfileInt(text.height, 480), parseProfileInt(text.bitsPerPixel, 0), 24);
    EXPECT_EQ(back.fullscreen, s.fullscreen);
    EXPECT_EQ(back.width, s.width);
    EXPECT_EQ(back.height, s.height);
    EXPECT_EQ(back.bitsPerPixel, s.bitsPerPixel);

    s.fullscreen = false;
    s.bitsPerPixel = 0;
    EXPECT_STREQ(formatSettings(s).fullscreen, "0");
    EXPECT_STREQ(formatSettings(s).bitsPerPixel, "0");
}

TEST(FrameClockTest, WholeMillisecondsSinceStartTruncated) {
    EXPECT_EQ(frameTimeFromCounter(1000, 1000, 1000000), 0u);
    EXPECT_EQ(frameTimeFromCounter(1000 + 999, 1000, 1000000), 0u);
    EXPECT_EQ(frameTimeFromCounter(1000 + 1000, 1000, 1000000), 1u);
    EXPECT_EQ(frameTimeFromCounter(2500000, 0, 1000000), 2500u);
    // An odd frequency: 10 ticks at 3 ticks per second is 3333.33 ms.
    EXPECT_EQ(frameTimeFromCounter(10, 0, 3), 3333u);
    EXPECT_EQ(frameTimeFromCounter(5, 0, 0), 0u);
}

TEST(FrameClockTest, MatchesThePlainFormulaAndWrapsAfterTwoToThe32Ms) {
    const std::int64_t frequency = 1000000000;  // a nanosecond counter
    for (std::int64_t elapsed : {std::int64_t{0}, std::int64_t{123456789},
                                 std::int64_t{999999999999}, std::int64_t{7} * frequency + 1}) {
        const std::int64_t plain = (elapsed * 1000) / frequency;
        EXPECT_EQ(frameTimeFromCounter(elapsed + 42, 42, frequency),
                  static_cast<std::uint32_t>(plain));
    }
    const std::int64_t wrapMs = std::int64_t{1} << 32;
    EXPECT_EQ(frameTimeFromCounter(wrapMs * 1000 + 5000, 0, 1000000), 5u);
    // Two hundred days of nanoseconds: the plain product would overflow.
    const std::int64_t days200 = std::int64_t{200} * 86400 * frequency;
    EXPECT_EQ(frameTimeFromCounter(days200, 0, frequency),
              static_cast<std::uint32_t>(std::int64_t{200} * 86400 * 1000));
}

TEST(ViewportTest, ZeroHeightBecomesOne) {
    EXPECT_EQ(viewportHeight(0), 1);
    EXPECT_EQ(viewportHeight(1), 1);
    EXPECT_EQ(viewportHeight(480), 480);
}

}  // namespace
