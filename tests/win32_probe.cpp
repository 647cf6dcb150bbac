// A small Windows console program the Wine suite uses to look at and drive
// the demo's window from outside, the way a user or the system would:
//   win32_probe window [timeoutMs]      wait for the window, print its state
//   win32_probe title TEXT [timeoutMs]  wait until the title reads TEXT
//   win32_probe messagebox [timeoutMs]  wait for a message box, print it, press OK
//   win32_probe minimize                minimise, wait, restore
//   win32_probe escape | close          press Escape / the close box
//   win32_probe screen                  print the display mode's size
// Exit code 0 on success, 1 when the awaited thing did not appear.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kWindowClassName[] = "VEXA_Class";

int timeoutArgument(int argc, char** argv, int index, int fallback) {
    return argc > index ? std::atoi(argv[index]) : fallback;
}

HWND waitForWindow(int timeoutMs) {
    for (int waited = 0;; waited += 50) {
        // Only a shown window counts: creation comes before SW_SHOW.
        HWND window = FindWindowA(kWindowClassName, nullptr);
        if (window != nullptr && IsWindowVisible(window)) {
            return window;
        }
        if (waited >= timeoutMs) {
            return window;
        }
        Sleep(50);
    }
}

std::string windowText(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

void printWindow(HWND window) {
    RECT outer{};
    RECT client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    std::printf("title=%s\n", windowText(window).c_str());
    std::printf("style=%s\n", (style & WS_POPUP) ? "popup" : "overlapped");
    std::printf("caption=%d\n", (style & WS_CAPTION) == WS_CAPTION ? 1 : 0);
    std::printf("window=%ld,%ld,%ld,%ld\n", outer.left, outer.top, outer.right - outer.left,
                outer.bottom - outer.top);
    std::printf("client=%ld,%ld\n", client.right - client.left, client.bottom - client.top);
    std::printf("visible=%d\n", IsWindowVisible(window) ? 1 : 0);
}

struct DialogSearch {
    DWORD processOfWindow;
    HWND dialog;
};

BOOL CALLBACK findDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<DialogSearch*>(parameter);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window)) {
        search->dialog = window;
        return FALSE;
    }
    return TRUE;
}

// The static control that shows a message box's icon.
BOOL CALLBACK findIcon(HWND child, LPARAM parameter) {
    char className[64] = {};
    GetClassNameA(child, className, sizeof className);
    if (_stricmp(className, "Static") == 0 &&
        (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<HWND*>(parameter) = child;
        return FALSE;
    }
    return TRUE;
}

// The 32-bit pixels of a bitmap (not selected into any DC).
std::string bitmapPixels(HDC dc, HBITMAP bitmap, int width, int height) {
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof header.bmiHeader;
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = height;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    std::string pixels(std::size_t(width) * std::size_t(height) * 4, '\0');
    if (GetDIBits(dc, bitmap, 0, UINT(height), &pixels[0], &header, DIB_RGB_COLORS) == 0) {
        pixels.clear();
    }
    for (std::size_t i = 3; i < pixels.size(); i += 4) {
        pixels[i] = 0;  // the unused fourth byte
    }
    return pixels;
}

// Which system icon the box shows, read off the screen: icon handles belong
// to their process, so the pictures are compared, each candidate drawn on the
// box's own background.
const char* iconKind(HWND dialog) {
    HWND iconControl = nullptr;
    EnumChildWindows(dialog, findIcon, reinterpret_cast<LPARAM>(&iconControl));
    if (iconControl == nullptr) {
        return "none";
    }
    RECT rect{};
    GetWindowRect(iconControl, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        return "none";
    }
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    const COLORREF background = GetPixel(memory, 0, 0);
    SelectObject(memory, previous);
    const std::string shown = bitmapPixels(memory, bitmap, width, height);

    const struct {
        LPCSTR id;
        const char* name;
    } systemIcons[] = {{IDI_ERROR, "error"},
                       {IDI_WARNING, "warning"},
                       {IDI_INFORMATION, "information"},
                       {IDI_QUESTION, "question"}};
    const char* kind = "other";
    HBRUSH brush = CreateSolidBrush(background);
    const RECT all{0, 0, width, height};
    for (const auto& candidate : systemIcons) {
        previous = SelectObject(memory, bitmap);
        FillRect(memory, &all, brush);
        DrawIcon(memory, 0, 0, LoadIconA(nullptr, candidate.id));
        SelectObject(memory, previous);
        if (!shown.empty() && bitmapPixels(memory, bitmap, width, height) == shown) {
            kind = candidate.name;
            break;
        }
    }
    DeleteObject(brush);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return kind;
}

int messageBox(int timeoutMs) {
    DialogSearch search{0, nullptr};
    for (int waited = 0; search.dialog == nullptr; waited += 50) {
        EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
        if (search.dialog != nullptr) {
            break;
        }
        if (waited >= timeoutMs) {
            std::printf("no message box\n");
            return 1;
        }
        Sleep(50);
    }
    HWND dialog = search.dialog;
    char text[512] = {};
    // A message box shows its text in the static control 0xFFFF and its icon in 0x14.
    GetDlgItemTextA(dialog, 0xFFFF, text, sizeof text);
    HWND owner = GetWindow(dialog, GW_OWNER);
    char ownerClass[64] = "none";
    if (owner != nullptr) {
        GetClassNameA(owner, ownerClass, sizeof ownerClass);
    }
    std::printf("caption=%s\n", windowText(dialog).c_str());
    std::printf("text=%s\n", text);
    std::printf("owner=%s\n", ownerClass);
    std::printf("icon=%s\n", iconKind(dialog));
    std::printf("ok=%d\n", GetDlgItem(dialog, IDOK) != nullptr ? 1 : 0);
    std::printf("cancel=%d\n", GetDlgItem(dialog, IDCANCEL) != nullptr ? 1 : 0);
    std::printf("demo-window=%d\n", FindWindowA(kWindowClassName, nullptr) != nullptr ? 1 : 0);
    std::fflush(stdout);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: win32_probe window|title|messagebox|minimize|escape|close|screen\n");
        return 2;
    }
    const std::string command = argv[1];
    if (command == "screen") {
        DEVMODEA mode{};
        mode.dmSize = sizeof mode;
        EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode);
        std::printf("screen=%lux%lu\n", mode.dmPelsWidth, mode.dmPelsHeight);
        return 0;
    }
    if (command == "messagebox") {
        return messageBox(timeoutArgument(argc, argv, 2, 10000));
    }
    const int timeoutMs = command == "window" ? timeoutArgument(argc, argv, 2, 10000) : 10000;
    HWND window = waitForWindow(timeoutMs);
    if (window == nullptr) {
        std::printf("no window\n");
        return 1;
    }
    if (command == "window") {
        printWindow(window);
        return 0;
    }
    if (command == "title") {
        const std::string wanted = argc > 2 ? argv[2] : "";
        const int titleTimeoutMs = timeoutArgument(argc, argv, 3, 5000);
        for (int waited = 0;; waited += 50) {
            const std::string title = windowText(window);
            if (title == wanted) {
                std::printf("title=%s\n", title.c_str());
                return 0;
            }
            if (waited >= titleTimeoutMs) {
                std::printf("title=%s\n", title.c_str());
                return 1;
            }
            Sleep(50);
        }
    }
    if (command == "minimize") {
        ShowWindow(window, SW_MINIMIZE);
        Sleep(1000);
        RECT client{};
        GetClientRect(window, &client);
        std::printf("iconic=%d client=%ld,%ld\n", IsIconic(window) ? 1 : 0, client.right,
                    client.bottom);
        ShowWindow(window, SW_RESTORE);
        Sleep(300);
        return IsWindow(window) ? 0 : 1;
    }
    if (command == "escape") {
        PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
        return 0;
    }
    if (command == "close") {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    }
    std::fprintf(stderr, "unknown command %s\n", command.c_str());
    return 2;
}
