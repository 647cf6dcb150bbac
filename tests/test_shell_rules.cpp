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

TEST(CommandLineTest, FullscreenSwitchRules) {
    const struct {
        const char* text;
        bool before, after;
    } cases[] = {
        {"-fullscreen", false, true},
        {"-fullscreen=1", false, true},
        {"foo -fullscreenish bar", false, true},
        // The off form wins in either order and wherever it stands.
        {"-fullscreen=0", true, false},
        {"-fullscreen -fullscreen=0", false, false},
        {"-fullscreen=0 -fullscreen", false, false},
        {"x-fullscreen=01", true, false},
        // Other text, upper case included, leaves the setting alone.
        {"-FULLSCREEN", false, false},
        {"-FULLSCREEN=0", true, true},
        {"", true, true},
        {"-full screen", false, false},
        {"fullscreen", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(fullscreenAfter(c.text, c.before), c.after);
    }
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

TEST(ProfileIntTest, ReadsLikeTheProfileCalls) {
    const std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    const struct {
        const char* text;
        int fallback;
        std::int32_t expected;
    } cases[] = {
        {nullptr, 640, 640},
        {"", 480, 480},  // missing or empty: the default
        {"800", 640, 800},
        {"  1024", 640, 1024},
        {"+32", 0, 32},
        {"-5", 640, -5},
        {"12abc", 0, 12},
        {"1e3", 0, 1},
        {"0x20", 7, 0},
        {"abc", 640, 0},
        {"-", 640, 0},
        {" ", 480, 0},  // garbage: 0
        // Huge values wrap to 32 bits.
        {"4294967296", 1, 0},
        {"4294967297", 1, 1},
        {"2147483648", 1, kMin},
        {"-2147483648", 1, kMin},
        {"4294967295", 1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text != nullptr ? c.text : "(null)");
        EXPECT_EQ(parseProfileInt(c.text, c.fallback), c.expected);
    }
    // A very long digit string neither crashes nor depends on the default.
    const std::string nines(1000, '9');
    EXPECT_EQ(parseProfileInt(nines.c_str(), 1), parseProfileInt(nines.c_str(), 2));
}

TEST(SettingsRulesTest, DefaultsZerosAndEightBitDepth) {
    DisplaySettings s = settingsFromProfile(kDefaultFullscreen, kDefaultWidth, kDefaultHeight,
                                            kDefaultBitsPerPixel, 24);
    EXPECT_FALSE(s.fullscreen);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 480);
    EXPECT_EQ(s.bitsPerPixel, 24);
    s = settingsFromProfile(0, 0, 0, 0, 32);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 480);
    EXPECT_EQ(s.bitsPerPixel, 32);
    // The depth is cut to eight bits after the zero test: 256 gives 0, not the desktop's.
    EXPECT_EQ(settingsFromProfile(0, 640, 480, 256, 24).bitsPerPixel, 0);
    EXPECT_EQ(settingsFromProfile(0, 640, 480, 272, 24).bitsPerPixel, 16);
    EXPECT_EQ(settingsFromProfile(0, 640, 480, -1, 24).bitsPerPixel, 255);
    EXPECT_EQ(settingsFromProfile(0, 640, 480, 0, 280).bitsPerPixel, 24);
    // Other values are kept unbounded; any nonzero Fullscreen is on.
    s = settingsFromProfile(-7, -5, 100000, 32, 24);
    EXPECT_TRUE(s.fullscreen);
    EXPECT_EQ(s.width, -5);
    EXPECT_EQ(s.height, 100000);
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
    EXPECT_STREQ(text.bitsPerPixel, "255");
    const DisplaySettings back = settingsFromProfile(
        parseProfileInt(text.fullscreen, 0), parseProfileInt(text.width, 640),
        parseProfileInt(text.height, 480), parseProfileInt(text.bitsPerPixel, 0), 24);
    EXPECT_EQ(back.fullscreen, s.fullscreen);
    EXPECT_EQ(back.width, s.width);
    EXPECT_EQ(back.height, s.height);
    EXPECT_EQ(back.bitsPerPixel, s.bitsPerPixel);
}

TEST(FrameClockTest, WholeMillisecondsWithoutOverflow) {
    EXPECT_EQ(frameTimeFromCounter(1000 + 999, 1000, 1000000), 0u);
    EXPECT_EQ(frameTimeFromCounter(1000 + 1000, 1000, 1000000), 1u);
    EXPECT_EQ(frameTimeFromCounter(10, 0, 3), 3333u);  // 10 ticks at 3 per second
    EXPECT_EQ(frameTimeFromCounter(5, 0, 0), 0u);
    // Wraps after 2^32 ms; 200 days of nanoseconds would overflow the plain product.
    EXPECT_EQ(frameTimeFromCounter((std::int64_t{1} << 32) * 1000 + 5000, 0, 1000000), 5u);
    const std::int64_t frequency = 1000000000;
    EXPECT_EQ(frameTimeFromCounter(std::int64_t{200} * 86400 * frequency, 0, frequency),
              static_cast<std::uint32_t>(std::int64_t{200} * 86400 * 1000));
}

TEST(ViewportTest, ZeroHeightBecomesOne) {
    EXPECT_EQ(viewportHeight(0), 1);
    EXPECT_EQ(viewportHeight(480), 480);
}

}  // namespace
