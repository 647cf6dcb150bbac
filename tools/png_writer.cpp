#include "tools/png_writer.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/png_encoder.h"
#include "tools/output_file.h"

namespace {

// RGB rows top first, or GL's fastest readback: BGRX rows bottom first.
bool writePng(const std::string& path, int width, int height, const std::uint8_t* pixels,
              PixelOrder order, std::string& error) {
    PartialFile partial;
    if (!partial.create(path, "new", error))
        return false;
    // A copy of the descriptor: the hidden file stays locked until renamed.
    const int copy = fcntl(partial.fd(), F_DUPFD_CLOEXEC, 0);
    std::FILE* file = copy >= 0 ? fdopen(copy, "wb") : nullptr;
    if (!file) {
        error = path + ": " + std::strerror(errno);
        if (copy >= 0)
            close(copy);
        return false;
    }
    std::string why;
    const bool written = encodePng(file, width, height, pixels, order, why);
    if (std::fclose(file) != 0 && written)
        why = std::strerror(errno);
    if (!why.empty()) {
        error = path + ": " + why;
        return false;
    }
    return partial.commit(error);
}

}  // namespace

bool writePngRgb(const std::string& path, int width, int height,
                 const std::vector<std::uint8_t>& rgb, std::string& error) {
    if (width <= 0 || height <= 0 ||
        rgb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
        error = path + ": pixel buffer does not match the picture size";
        return false;
    }
    return writePng(path, width, height, rgb.data(), PixelOrder::RgbTopDown, error);
}

bool writePngBgrx(const std::string& path, int width, int height, const std::uint8_t* bgrx,
                  std::string& error) {
    return writePng(path, width, height, bgrx, PixelOrder::BgrxBottomUp, error);
}

bool readPngRgb(const std::string& path, int& width, int& height, std::vector<std::uint8_t>& rgb,
                std::string& error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = path + ": " + image.message;
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        error = path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    return true;
}
