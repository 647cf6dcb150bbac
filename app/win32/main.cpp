// The Windows demo draws with the OpenGL 1.1 backend.

// Before <windows.h>, whose Polygon function would hide the scene's type.
#include "render/backends/backend_by_name.h"
#include "scene/scene.h"

// The shell's header brings <windows.h>.
#include "app/win32/shell.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    sceneBackend = makeBackend("exact");
    return runShell(instance, commandLine);
}
