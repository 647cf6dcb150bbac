// libFuzzer entry for one file reader: the LWOB object reader, or with
// FUZZ_BMP the BMP reader, FUZZ_OBJ the OBJ mesh reader, FUZZ_PICTURE the
// picture reader (BMP, PNG, JPEG), FUZZ_SCENE the scene file reader. The readers take a path, so
// each input is written to an anonymous in-memory file and read back through /proc/self/fd. What
// loads is used as start-up uses it; every refusal must say why.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "assets/image.h"
#include "assets/picture.h"
#include "assets/scene_object.h"
#ifdef FUZZ_SCENE
#include "scene/scene_file.h"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("glasswake_fuzz_input", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) {
        std::abort();
    }
#if defined(FUZZ_SCENE)
    SceneDescription scene;
    ReadFailure reason;
    const bool ok = readSceneFile(path.c_str(), scene, reason);
    const char* failure = reason.text;
#elif defined(FUZZ_BMP) || defined(FUZZ_PICTURE)
    Image image;
#ifdef FUZZ_BMP
    const bool ok = readBmp(path.c_str(), &image);
#else
    const bool ok = readPicture(path.c_str(), &image);
#endif
    // Touch every byte so a buffer shorter than byteSize is caught.
    volatile std::uint32_t sum = 0;
    for (std::uint32_t i = 0; ok && i < image.byteSize; ++i) {
        sum = sum + image.pixels[i];
    }
    const char* failure = image.failure.text;
#else
    SceneObject object;
#ifdef FUZZ_OBJ
    const bool ok = object.loadObj(path.c_str()) &&
#else
    const bool ok = object.loadLwo(path.c_str()) &&
#endif
                    (object.shade(Vector3(0, -1, 0), Color(0, 0.2f, 0.2f, 0.5f), Color(0, 1, 1, 0)),
                     object.buildEdges());
    const char* failure = object.failure.text;
#endif
    if (!ok && failure[0] == '\0') {
        __builtin_trap();
    }
    return 0;
}
