// The Win32 display side: the debugger text is bounded, and a zero-height
// client area still gives a valid viewport. Runs as a Windows program.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "app/hooks.h"
#include "app/win32/display.h"

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

// A hidden window with a GL context, set up the way the shell sets up its own.
class GlWindow {
public:
    GlWindow() {
        WNDCLASSA windowClass{};
        windowClass.style = CS_OWNDC;
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "GlasswakeTestClass";
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, "GlasswakeTestClass", "test", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                  150, nullptr, nullptr, windowClass.hInstance, nullptr);
        if (window_ == nullptr) {
            return;
        }
        dc_ = GetDC(window_);
        displaySettings.bitsPerPixel = 32;
        setupPixelFormat(dc_);
        glContext = wglCreateContext(dc_);
        wglMakeCurrent(dc_, glContext);
    }
    ~GlWindow() {
        wglMakeCurrent(nullptr, nullptr);
        if (glContext != nullptr) {
            wglDeleteContext(glContext);
            glContext = nullptr;
        }
        if (window_ != nullptr) {
            ReleaseDC(window_, dc_);
            DestroyWindow(window_);
        }
    }
    bool ready() const { return glContext != nullptr && wglGetCurrentContext() == glContext; }

private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

TEST(ViewportTest, ZeroHeightBecomesOneAndWidthIsKept) {
    GlWindow window;
    ASSERT_TRUE(window.ready());
    GLint viewport[4] = {-1, -1, -1, -1};

    const int cases[][4] = {{300, 0, 300, 1}, {0, 0, 0, 1}, {632, 453, 632, 453}};
    for (const auto& c : cases) {
        resizeViewport(c[0], c[1]);
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[0], 0);
        EXPECT_EQ(viewport[1], 0);
        EXPECT_EQ(viewport[2], c[2]) << c[0] << "x" << c[1];
        EXPECT_EQ(viewport[3], c[3]) << c[0] << "x" << c[1];
    }
}

}  // namespace
