// Object files of any content: load, and when that succeeds, shade and link
// edges exactly as start-up does. Every refusal must say why.

#include <cstddef>
#include <cstdint>

#include "assets/scene_object.h"
#include "fuzz/fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SceneObject object;
    bool ok = object.loadLwo(fuzzInputPath(data, size));
    if (ok) {
        Vector3 light(0.5f, -1.0f, 0.2f);
        light.normalize();
        object.shade(light, Color(0.0f, 0.2f, 0.2f, 0.5f), Color(0.0f, 1.0f, 1.0f, 0.0f));
        ok = object.buildEdges();
    }
    if (!ok && object.failure.text[0] == '\0') {
        __builtin_trap();
    }
    return 0;
}
