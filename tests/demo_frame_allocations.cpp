// Linked into a copy of the Linux demo that the end-to-end suite drives by
// keys and pointer: counts operator new on the main thread from one swap of
// the window to the next, which takes in the events, the viewer's input, the
// frame, the backend's drawing, the panels, the title and the work after the
// frame. SIGUSR1 starts the count afresh once every state has been shown
// (the GL driver compiles its code for each new state with operator new);
// at exit one line says how many frames since then allocated. The link
// wraps SDL_GL_SwapWindow (-Wl,--wrap), so the demo's code is unchanged.
#include <SDL_video.h>

#include <csignal>
#include <cstdio>

#include "tools/allocation_counter.h"

extern "C" void __real_SDL_GL_SwapWindow(SDL_Window* window);

namespace {

volatile std::sig_atomic_t restart = 0;
unsigned frames = 0;
unsigned allocatingFrames = 0;
unsigned firstFrame = 0;
std::uint64_t firstCount = 0;

struct Report {
    Report() {
        std::signal(SIGUSR1, [](int) { restart = 1; });
    }
    ~Report() {
        std::fprintf(stderr,
                     "frame allocations: %u frames counted, %u allocating (first: frame %u, %u "
                     "operator new)\n",
                     frames, allocatingFrames, firstFrame, static_cast<unsigned>(firstCount));
    }
} report;

}  // namespace

extern "C" void __wrap_SDL_GL_SwapWindow(SDL_Window* window) {
    __real_SDL_GL_SwapWindow(window);
    const std::uint64_t count = allocation_counter::end();
    if (restart != 0) {
        restart = 0;
        frames = 0;
        allocatingFrames = 0;
        firstFrame = 0;
        firstCount = 0;
    } else {
        ++frames;
        if (count != 0 && allocatingFrames++ == 0) {
            firstFrame = frames;
            firstCount = count;
        }
    }
    allocation_counter::begin(false);
}
