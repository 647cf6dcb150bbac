// A small Windows console program the Wine suite uses to look at and drive
// the demo's window from outside, the way a user or the system would:
//   win32_probe window [timeoutMs]      wait for the window, print its state
//   win32_probe messagebox [timeoutMs]  wait for a message box, print it, press OK
//   win32_probe minimize                minimise, wait, restore
//   win32_probe escape | close          press Escape / the close box
// Exit code 0 on success, 1 when the awaited thing did not appear.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kWindowClassName[] = "VEXA_Class";

// Polls for the shown demo window (creation comes before SW_SHOW) or a message
// box (the dialog class).
HWND waitFor(bool dialog, int timeoutMs) {
    for (int waited = 0;; waited += 50) {
        HWND window = FindWindowA(dialog ? "#32770" : kWindowClassName, nullptr);
        if ((window != nullptr && IsWindowVisible(window)) || waited >= timeoutMs) {
            return window;
        }
        Sleep(50);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const char* command = argc > 1 ? argv[1] : "";
    const int timeoutMs = argc > 2 ? std::atoi(argv[2]) : 10000;
    const bool box = std::strcmp(command, "messagebox") == 0;
    HWND window = waitFor(box, timeoutMs);
    if (window == nullptr) {
        std::printf("nothing appeared\n");
        return 1;
    }
    char text[512] = {};
    char className[64] = "none";
    if (box) {
        // A message box shows its text in the static control 0xFFFF.
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
        if (HWND owner = GetWindow(window, GW_OWNER)) {
            GetClassNameA(owner, className, sizeof className);
        }
        std::printf("text=%s\nowner=%s\nok=%d\ncancel=%d\ndemo-window=%d\n", text, className,
                    GetDlgItem(window, IDOK) != nullptr, GetDlgItem(window, IDCANCEL) != nullptr,
                    FindWindowA(kWindowClassName, nullptr) != nullptr);
        GetWindowTextA(window, text, sizeof text);
        std::printf("caption=%s\n", text);
        std::fflush(stdout);
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    } else if (std::strcmp(command, "window") == 0) {
        RECT outer{};
        RECT client{};
        GetWindowRect(window, &outer);
        GetClientRect(window, &client);
        const LONG style = GetWindowLongA(window, GWL_STYLE);
        std::printf("style=%s\nbits=%08lx\ncaption=%d\nwindow=%ld,%ld,%ld,%ld\nclient=%ld,%ld\n",
                    (style & WS_POPUP) ? "popup" : "overlapped", static_cast<unsigned long>(style),
                    (style & WS_CAPTION) == WS_CAPTION, outer.left, outer.top,
                    outer.right - outer.left, outer.bottom - outer.top, client.right,
                    client.bottom);
    } else if (std::strcmp(command, "minimize") == 0) {
        ShowWindow(window, SW_MINIMIZE);
        Sleep(1000);
        RECT client{};
        GetClientRect(window, &client);
        std::printf("iconic=%d client=%ld,%ld\n", IsIconic(window) ? 1 : 0, client.right,
                    client.bottom);
        ShowWindow(window, SW_RESTORE);
        Sleep(300);
    } else if (std::strcmp(command, "escape") == 0) {
        PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
    } else if (std::strcmp(command, "close") == 0) {
        PostMessageA(window, WM_CLOSE, 0, 0);
    } else {
        std::fprintf(stderr, "usage: win32_probe window|messagebox|minimize|escape|close\n");
        return 2;
    }
    return 0;
}
