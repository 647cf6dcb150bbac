#pragma once

#include <cstdint>

// The contract between a shell (Win32, SDL, the headless tool) and the
// application it runs. The shell owns the window, the GL context and the
// clock; the application knows nothing about any of them.
//
// Order: PreInit (no window, no GL) -> window and context -> Init (context
// current) -> Frame per loop pass -> context deleted -> Shutdown (no GL).

bool PreInit();
bool Init();
bool Frame();  // false asks the shell to close the window
void Shutdown();
const char* GetCaption();  // window caption at creation
const char* GetTitle();    // title text set by the 500 ms timer
// Why the last PreInit or Init returned false, one line the user can act on
// ("data/crystal2.lwo: No such file or directory"); "" when there is nothing
// to add to the shell's own message.
const char* GetFailureReason();

// Written by the shell, read by the application.
struct ClientSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};
extern std::uint32_t frameTimeMs;  // ms since the clock started, refreshed before each Frame
extern ClientSize clientSize;      // drawable area; 0 x 0 while minimised
