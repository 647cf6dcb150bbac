#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes 8-bit RGB pixels (top row first, rows unpadded) as a PNG file,
// complete or not at all (see output_file.h). On failure returns false and
// says why in error.
bool writePngRgb(const std::string& path, int width, int height,
                 const std::vector<std::uint8_t>& rgb, std::string& error);
// The same for width x height pixels as HeadlessGl::readBgrxBottomUp gives them.
bool writePngBgrx(const std::string& path, int width, int height, const std::uint8_t* bgrx,
                  std::string& error);

// Reads any 8-bit PNG back as RGB (top row first); for tests and comparisons.
bool readPngRgb(const std::string& path, int& width, int& height, std::vector<std::uint8_t>& rgb,
                std::string& error);
