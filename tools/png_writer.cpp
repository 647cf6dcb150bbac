#include "tools/png_writer.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "tools/output_file.h"

namespace {

// zlib's fastest level with each row stored as its difference from the row
// above: a rendered 1920x1080 frame compresses in a quarter of the time of
// level 6 with every filter tried, for files about a third larger.
constexpr int kCompressionLevel = 1;
constexpr int kFilters = PNG_FILTER_UP;

// libpng reports errors by longjmp; keep everything that needs cleaning up
// outside the jumped-over frames.
struct File {
    std::FILE* handle = nullptr;
    ~File() {
        if (handle)
            std::fclose(handle);
    }
};

// RGB rows top first, or (bgrx) GL's fastest readback: BGRX rows bottom first.
bool writePng(const std::string& path, int width, int height, const std::uint8_t* pixels, bool bgrx,
              std::string& error) {
    PartialFile partial;
    if (!partial.create(path, "new", error))
        return false;
    File file;
    // A copy of the descriptor: the hidden file stays locked until renamed.
    const int copy = fcntl(partial.fd(), F_DUPFD_CLOEXEC, 0);
    file.handle = copy >= 0 ? fdopen(copy, "wb") : nullptr;
    if (!file.handle) {
        error = path + ": " + std::strerror(errno);
        if (copy >= 0)
            close(copy);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    const std::size_t rowBytes = static_cast<std::size_t>(width) * (bgrx ? 4 : 3);
    for (int y = 0; y < height; ++y) {
        rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(
            pixels + static_cast<std::size_t>(bgrx ? height - 1 - y : y) * rowBytes);
    }
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        error = path + (png && info ? ": cannot write PNG data" : ": out of memory");
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file.handle);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, kCompressionLevel);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, kFilters);
    png_write_info(png, info);
    if (bgrx) {
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);  // dropped on the way out
    }
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    const bool flushed = std::fflush(file.handle) == 0 && !std::ferror(file.handle);
    const int closed = std::fclose(file.handle);
    file.handle = nullptr;
    if (!flushed || closed != 0) {
        error = path + ": " + std::strerror(errno);
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
    return writePng(path, width, height, rgb.data(), false, error);
}

bool writePngBgrx(const std::string& path, int width, int height, const std::uint8_t* bgrx,
                  std::string& error) {
    return writePng(path, width, height, bgrx, true, error);
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
