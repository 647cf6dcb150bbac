// The Win32 display side: the debugger text is bounded. Runs as a Windows
// program. (The zero-height viewport rule is unit-tested with the shared
// rules; the Wine suite minimises a running window.)
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "app/win32/display.h"
#include "scene/hooks.h"

// The shell's values, owned here since the test has no shell.
std::uint32_t frameTimeMs = 0;
ClientSize clientSize;

namespace {

std::size_t format(char* buffer, std::size_t capacity, const char* text, ...) {
    std::va_list arguments;
    va_start(arguments, text);
    const std::size_t length = formatDebugText(buffer, capacity, text, arguments);
    va_end(arguments);
    return length;
}

TEST(DebugTextTest, ReportIsFormattedAndLongTextIsCutInsideTheBuffer) {
    char memory[1024 + 64];
    char* buffer = memory + 32;
    EXPECT_EQ(format(buffer, 1024, kPixelFormatReport, 37, 32), 33u);
    EXPECT_STREQ(buffer, "PixelFormat Selected: 37\nBPP: 32\n");

    // Guard bytes around the 1024-character buffer show any write past it.
    std::memset(memory, '#', sizeof memory);
    const std::string longText(5000, 'x');
    EXPECT_EQ(format(buffer, 1024, "%s|%d", longText.c_str(), 12345), 1023u);
    EXPECT_EQ(std::strlen(buffer), 1023u);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(memory[i], '#') << "before the buffer at " << i;
        EXPECT_EQ(buffer[1024 + i], '#') << "after the buffer at " << i;
    }
    // Exactly the capacity loses only the last character.
    EXPECT_EQ(format(buffer, 8, "%s", "12345678"), 7u);
    EXPECT_STREQ(buffer, "1234567");
    // The real call takes an overlong text (it would crash on an unbounded write).
    debugPrint("%s%s\n", longText.c_str(), longText.c_str());
}

}  // namespace
