// A small Windows console program the Wine suite uses to look at and drive
// the demo's window from outside, the way a user or the system would:
//   win32_probe window [timeoutMs]      wait for the window, print its state
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
    std::printf("style=%s\n", (style & WS_POPUP) ? "popup" : "overlapped");
    std::printf("caption=%d\n", (style & WS_CAPTION) == WS_CAPTION ? 1 : 0);
    std::printf("window=%ld,%ld,%ld,%ld\n", outer.left, outer.top, outer.right - outer.left,
                outer.bottom - outer.top);
    std::printf("client=%ld,%ld\n", client.right - client.left, client.bottom - client.top);
}

BOOL CALLBACK findDialog(HWND window, LPARAM parameter) {
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(parameter) = window;
        return FALSE;
    }
    return TRUE;
}

int messageBox(int timeoutMs) {
    HWND dialog = nullptr;
    for (int waited = 0; dialog == nullptr; waited += 50) {
        EnumWindows(findDialog, reinterpret_cast<LPARAM>(&dialog));
        if (dialog == nullptr && waited >= timeoutMs) {
            std::printf("no message box\n");
            return 1;
        }
        Sleep(dialog == nullptr ? 50 : 0);
    }
    char text[512] = {};
    // A message box shows its text in the static control 0xFFFF.
    GetDlgItemTextA(dialog, 0xFFFF, text, sizeof text);
    HWND owner = GetWindow(dialog, GW_OWNER);
    char ownerClass[64] = "none";
    if (owner != nullptr) {
        GetClassNameA(owner, ownerClass, sizeof ownerClass);
    }
    std::printf("caption=%s\n", windowText(dialog).c_str());
    std::printf("text=%s\n", text);
    std::printf("owner=%s\n", ownerClass);
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
        std::fprintf(stderr, "usage: win32_probe window|messagebox|minimize|escape|close|screen\n");
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
