#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "math/vector3.h"

// The shipped data set (four meshes and the environment picture) is generated
// here, and the writers are reused by tests that need variants of it.
//
// Everything is exact: mesh coordinates are whole multiples of 2^-15 built from
// integer tables (no sin/cos at run time), and the picture is integer
// arithmetic only, so every run on every compiler writes the same bytes.

// A polygon mesh as the LWOB writer stores it: points, then polygons as lists
// of point indices wound so that (v1 - v0) x (v2 - v0) points out of the solid.
struct MeshData {
    using Point = Vector3;
    std::vector<Point> points;
    std::vector<std::vector<std::uint16_t>> faces;
    // Written as an "SRFS" chunk when not empty; every polygon uses surface 1.
    std::string surfaceName;
};

// A 24-bit picture, top row first, 3 bytes (red, green, blue) per pixel.
struct PictureData {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

// The bytes of a big-endian "FORM"/"LWOB" file with "SRFS", "PNTS" and "POLS"
// chunks. Empty when the mesh cannot be stored (more than 65536 points, a
// polygon with more than 65535 vertices or an index out of range).
std::vector<std::uint8_t> encodeLwo(const MeshData& mesh);

// The bytes of an uncompressed, bottom-up 24-bit BMP file. Empty when the
// picture's size and buffer do not agree.
std::vector<std::uint8_t> encodeBmp(const PictureData& picture);

bool writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool writeLwo(const std::string& path, const MeshData& mesh);
bool writeBmp(const std::string& path, const PictureData& picture);

// The scene's meshes: index 1 to 3 the crystals, any other index the base.
MeshData generateObject(int index);
// The seamlessly tiling 256x256 environment picture.
PictureData generateEnvironment();

// Writes the scene's five files (its four meshes, then the picture, under the
// names it loads them by) into directory, created when missing. On failure
// returns false and says which file or folder could not be written and why.
bool writeDataSet(const std::string& directory, std::string* failure);

// Turns every face of a convex mesh so its normal points away from the mean of
// the points. The generator builds faces in any order and fixes them here.
void orientFacesOutward(MeshData& mesh);
