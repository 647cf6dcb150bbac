// BMP files of any content; a picture that loads is read end to end, and
// every refusal must say why.

#include <cstddef>
#include <cstdint>

#include "assets/image.h"
#include "fuzz/fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Image image;
    if (readBmp(fuzzInputPath(data, size), &image)) {
        // Touch every byte so a buffer shorter than byteSize is caught.
        volatile std::uint32_t sum = 0;
        for (std::uint32_t i = 0; i < image.byteSize; ++i) {
            sum = sum + image.pixels[i];
        }
    } else if (image.failure.text[0] == '\0') {
        __builtin_trap();
    }
    return 0;
}
