// The Linux demo draws with the OpenGL 1.1 backend. The choice is made
// while the program starts, before main, so the shell itself stays free of
// anything the scene draws with.
#include "render/backends/exact_backend.h"
#include "scene/scene.h"

namespace {

ExactBackend exactBackend;

const bool backendChosen = [] {
    sceneBackend = &exactBackend;
    return true;
}();

}  // namespace
