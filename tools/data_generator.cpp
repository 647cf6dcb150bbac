#include "tools/data_generator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "scene/scene_constants.h"

namespace {

// ---- Byte output -------------------------------------------------------------

void putBig32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 24));
    out.push_back(static_cast<std::uint8_t>(value >> 16));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void putBig16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void putLittle32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value >> 16));
    out.push_back(static_cast<std::uint8_t>(value >> 24));
}

void putLittle16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void putFloat(std::vector<std::uint8_t>& out, float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    putBig32(out, bits);
}

void putId(std::vector<std::uint8_t>& out, const char* id) {
    out.insert(out.end(), id, id + 4);
}

// ---- Exact coordinates ---------------------------------------------------------

// Coordinates are built as integers in units of 2^-15 and converted once; every
// value used stays below 2^24 units, so the float is exact.
constexpr int unitsPerOne = 32768;

struct FixedPoint {
    int x;
    int y;
    int z;
};

MeshData::Point toPoint(const FixedPoint& p) {
    const float scale = 1.0f / static_cast<float>(unitsPerOne);
    return {static_cast<float>(p.x) * scale, static_cast<float>(p.y) * scale,
            static_cast<float>(p.z) * scale};
}

// A regular decagon of radius 1024, vertex k at 36k degrees, rounded once by hand.
constexpr int decagon[10][2] = {{1024, 0},  {828, 602},   {316, 974},   {-316, 974}, {-828, 602},
                                {-1024, 0}, {-828, -602}, {-316, -974}, {316, -974}, {828, -602}};

// The base: a decagonal slab with a bevelled rim. Three rings of the same
// decagon scaled about the vertical axis, so every side quad is an exact
// trapezoid and every ring lies in one horizontal plane.
MeshData generateBase() {
    struct Ring {
        int radius32;  // radius in 1/32
        int height;    // in units
    };
    const Ring rings[3] = {{56, 0}, {61, 6144}, {52, 10240}};  // y = 0, 0.1875, 0.3125
    MeshData mesh;
    mesh.surfaceName = "Base";
    for (const Ring& ring : rings) {
        for (const auto& corner : decagon) {
            // corner / 1024 * radius / 32 = corner * radius units.
            mesh.points.push_back(
                toPoint({corner[0] * ring.radius32, ring.height, corner[1] * ring.radius32}));
        }
    }
    std::vector<std::uint16_t> bottom;
    std::vector<std::uint16_t> top;
    for (int k = 0; k < 10; ++k) {
        bottom.push_back(static_cast<std::uint16_t>(k));
        top.push_back(static_cast<std::uint16_t>(20 + k));
    }
    mesh.faces.push_back(bottom);
    for (int ring = 0; ring < 2; ++ring) {
        for (int k = 0; k < 10; ++k) {
            const int next = (k + 1) % 10;
            mesh.faces.push_back({static_cast<std::uint16_t>(ring * 10 + k),
                                  static_cast<std::uint16_t>(ring * 10 + next),
                                  static_cast<std::uint16_t>(ring * 10 + 10 + next),
                                  static_cast<std::uint16_t>(ring * 10 + 10 + k)});
        }
    }
    mesh.faces.push_back(top);
    orientFacesOutward(mesh);
    return mesh;
}

// Height of the base's top face, where the crystals stand.
constexpr int baseTop = 10240;

// A hexagonal crystal: a tapering hexagonal prism with a six-sided pyramid tip,
// standing on the base and leaning by a shear. The shear and scales are exact
// binary fractions, and an affine map keeps faces planar and the solid convex.
struct CrystalShape {
    const char* name;
    int footX, footZ;    // axis foot, in 1/64
    int radius;          // hexagon corner radius, in 1/64
    int stretch;         // scale of the hexagon's first axis, in 1/8
    bool turned;         // hexagon turned by 30 degrees
    int ringHeight;      // top of the prism above the foot, in 1/64
    int apexHeight;      // tip above the foot, in 1/64
    int shearX, shearZ;  // lean per unit of height, in 1/64
};

// Hexagon corners on a 1/8 grid (7/8 stands for sqrt(3)/2).
constexpr int hexagon[6][2] = {{8, 0}, {4, 7}, {-4, 7}, {-8, 0}, {-4, -7}, {4, -7}};
constexpr int hexagonTurned[6][2] = {{7, 4}, {0, 8}, {-7, 4}, {-7, -4}, {0, -8}, {7, -4}};

MeshData generateCrystal(const CrystalShape& shape) {
    MeshData mesh;
    mesh.surfaceName = shape.name;
    const int(*corners)[2] = shape.turned ? hexagonTurned : hexagon;
    // Local (u, h, w) with u, w in units and h in 1/64 above the foot.
    auto place = [&](int u, int height64, int w) {
        const int x = shape.footX * 512 + u + shape.shearX * height64 * 8;
        const int y = baseTop + height64 * 512;
        const int z = shape.footZ * 512 + w + shape.shearZ * height64 * 8;
        return toPoint({x, y, z});
    };
    // corner/8 * radius/64 * stretch/8 is corner * radius * stretch * 8 units.
    for (int k = 0; k < 6; ++k) {
        mesh.points.push_back(place(corners[k][0] * shape.radius * shape.stretch * 8, 0,
                                    corners[k][1] * shape.radius * 64));
    }
    // The prism tapers to 7/8 of its foot.
    for (int k = 0; k < 6; ++k) {
        mesh.points.push_back(place(corners[k][0] * shape.radius * shape.stretch * 7,
                                    shape.ringHeight, corners[k][1] * shape.radius * 56));
    }
    mesh.points.push_back(place(0, shape.apexHeight, 0));
    std::vector<std::uint16_t> bottom;
    for (int k = 0; k < 6; ++k) {
        bottom.push_back(static_cast<std::uint16_t>(k));
    }
    mesh.faces.push_back(bottom);
    for (int k = 0; k < 6; ++k) {
        const int next = (k + 1) % 6;
        mesh.faces.push_back({static_cast<std::uint16_t>(k), static_cast<std::uint16_t>(next),
                              static_cast<std::uint16_t>(6 + next),
                              static_cast<std::uint16_t>(6 + k)});
    }
    for (int k = 0; k < 6; ++k) {
        const int next = (k + 1) % 6;
        mesh.faces.push_back(
            {static_cast<std::uint16_t>(6 + k), static_cast<std::uint16_t>(6 + next), 12});
    }
    orientFacesOutward(mesh);
    return mesh;
}

// The three crystals stand apart around the axis and lean outwards; the first
// is the tallest, its tip at y = 3.5.
const CrystalShape crystalShapes[3] = {
    {"Crystal1", -8, 32, 32, 8, false, 152, 204, -4, 4},
    {"Crystal2", 48, -24, 26, 8, true, 100, 140, 12, -6},
    {"Crystal3", -44, -32, 22, 10, false, 64, 96, -16, -8},
};

// ---- The environment picture ---------------------------------------------------

constexpr int pictureSize = 256;

// One period of a smooth wave over 256 steps, in -1024 .. 1024: two parabola
// arcs whose slopes meet, close enough to a sine and exact in integers.
int wave(int phase) {
    const int t = phase & 255;
    if (t < 128) {
        return t * (128 - t) / 4;
    }
    return -((t - 128) * (256 - t) / 4);
}

// Hue 0 .. 1535 (six sectors of 256), saturation and value 0 .. 255.
void hsvToRgb(int hue, int saturation, int value, int rgb[3]) {
    hue %= 1536;
    if (hue < 0) {
        hue += 1536;
    }
    const int sector = hue / 256;
    const int f = hue % 256;
    const int p = value * (255 - saturation) / 255;
    const int q = value * (255 * 255 - saturation * f) / (255 * 255);
    const int t = value * (255 * 255 - saturation * (255 - f)) / (255 * 255);
    const int table[6][3] = {{value, t, p}, {q, value, p}, {p, value, t},
                             {p, q, value}, {t, p, value}, {value, p, q}};
    for (int c = 0; c < 3; ++c) {
        rgb[c] = table[sector][c];
    }
}

// A small fixed-seed generator (xorshift32) for the star field.
struct StarRandom {
    std::uint32_t state = 0x2545F491u;
    std::uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int below(int limit) { return static_cast<int>(next() % static_cast<std::uint32_t>(limit)); }
};

int clampByte(int value) {
    return value < 0 ? 0 : (value > 255 ? 255 : value);
}

}  // namespace

void orientFacesOutward(MeshData& mesh) {
    Vector3 center;
    for (const Vector3& p : mesh.points) {
        center = center + p * (1.0f / static_cast<float>(mesh.points.size()));
    }
    for (std::vector<std::uint16_t>& face : mesh.faces) {
        if (face.size() < 3) {
            continue;
        }
        const Vector3& p0 = mesh.points[face[0]];
        const Vector3 normal = (mesh.points[face[1]] - p0).cross(mesh.points[face[2]] - p0);
        if (normal.dot(p0 - center) < 0.0f) {
            // Reverse but keep vertex 0 first, so the first three stay a proper corner.
            std::reverse(face.begin() + 1, face.end());
        }
    }
}

std::vector<std::uint8_t> encodeLwo(const MeshData& mesh) {
    if (mesh.points.size() > 65536) {
        return {};
    }
    std::vector<std::uint8_t> surfaces;
    if (!mesh.surfaceName.empty()) {
        // A NUL-terminated name padded to an even length.
        surfaces.insert(surfaces.end(), mesh.surfaceName.begin(), mesh.surfaceName.end());
        surfaces.push_back(0);
        if (surfaces.size() % 2 != 0) {
            surfaces.push_back(0);
        }
    }
    std::vector<std::uint8_t> points;
    for (const MeshData::Point& p : mesh.points) {
        putFloat(points, p.x);
        putFloat(points, p.y);
        putFloat(points, p.z);
    }
    std::vector<std::uint8_t> polygons;
    for (const std::vector<std::uint16_t>& face : mesh.faces) {
        if (face.size() > 65535) {
            return {};
        }
        putBig16(polygons, static_cast<std::uint32_t>(face.size()));
        for (std::uint16_t index : face) {
            if (index >= mesh.points.size()) {
                return {};
            }
            putBig16(polygons, index);
        }
        putBig16(polygons, 1);  // surface number
    }
    std::vector<std::uint8_t> out;
    putId(out, "FORM");
    std::size_t formSize = 4 + 8 + points.size() + 8 + polygons.size();
    if (!surfaces.empty()) {
        formSize += 8 + surfaces.size();
    }
    if (formSize > 0xFFFFFFFFu) {
        return {};
    }
    putBig32(out, static_cast<std::uint32_t>(formSize));
    putId(out, "LWOB");
    if (!surfaces.empty()) {
        putId(out, "SRFS");
        putBig32(out, static_cast<std::uint32_t>(surfaces.size()));
        out.insert(out.end(), surfaces.begin(), surfaces.end());
    }
    putId(out, "PNTS");
    putBig32(out, static_cast<std::uint32_t>(points.size()));
    out.insert(out.end(), points.begin(), points.end());
    putId(out, "POLS");
    putBig32(out, static_cast<std::uint32_t>(polygons.size()));
    out.insert(out.end(), polygons.begin(), polygons.end());
    return out;
}

std::vector<std::uint8_t> encodeBmp(const PictureData& picture) {
    if (picture.width <= 0 || picture.height <= 0 || picture.width > 65536 ||
        picture.height > 65536 ||
        picture.rgb.size() != static_cast<std::size_t>(picture.width) *
                                  static_cast<std::size_t>(picture.height) * 3) {
        return {};
    }
    const std::size_t rowBytes = (static_cast<std::size_t>(picture.width) * 3 + 3) / 4 * 4;
    const std::size_t pixelBytes = rowBytes * static_cast<std::size_t>(picture.height);
    if (pixelBytes > 0x7FFFFFFFu - 54) {
        return {};
    }
    std::vector<std::uint8_t> out;
    out.reserve(54 + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    putLittle32(out, static_cast<std::uint32_t>(54 + pixelBytes));  // file size
    putLittle32(out, 0);                                            // reserved
    putLittle32(out, 54);                                           // pixel data offset
    putLittle32(out, 40);                                           // info header size
    putLittle32(out, static_cast<std::uint32_t>(picture.width));
    putLittle32(out, static_cast<std::uint32_t>(picture.height));  // positive: bottom row first
    putLittle16(out, 1);                                           // planes
    putLittle16(out, 24);                                          // bits per pixel
    putLittle32(out, 0);                                           // no compression
    putLittle32(out, static_cast<std::uint32_t>(pixelBytes));
    putLittle32(out, 2835);  // 72 dpi
    putLittle32(out, 2835);
    putLittle32(out, 0);
    putLittle32(out, 0);
    for (int row = picture.height - 1; row >= 0; --row) {
        const std::uint8_t* source =
            picture.rgb.data() + static_cast<std::size_t>(row) * picture.width * 3;
        for (int x = 0; x < picture.width; ++x) {
            out.push_back(source[x * 3 + 2]);
            out.push_back(source[x * 3 + 1]);
            out.push_back(source[x * 3 + 0]);
        }
        for (std::size_t pad = static_cast<std::size_t>(picture.width) * 3; pad < rowBytes; ++pad) {
            out.push_back(0);
        }
    }
    return out;
}

bool writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) {
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), bytes.size(), 1, file) == 1;
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

bool writeLwo(const std::string& path, const MeshData& mesh) {
    return writeBytes(path, encodeLwo(mesh));
}

bool writeBmp(const std::string& path, const PictureData& picture) {
    return writeBytes(path, encodeBmp(picture));
}

MeshData generateObject(int index) {
    if (index <= 0 || index > 3) {
        return generateBase();
    }
    return generateCrystal(crystalShapes[index - 1]);
}

namespace {

// The picture's layers, summed per channel in plain integers, clamped at the end.
struct Layers {
    std::vector<int> red, green, blue;
    explicit Layers(int pixels) : red(pixels), green(pixels), blue(pixels) {}
};

// Sky, aurora and lattice. Every phase is a whole multiple of x and y, so the
// picture repeats after 256 pixels both ways and tiles without a seam.
void paintSky(Layers& layers, int size) {
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int skyHue = x * 6 + wave(y * 2 + 40) / 6;
            const int skyValue = 110 + wave(x + y * 3) / 24;
            int sky[3];
            hsvToRgb(skyHue + 900, 170, skyValue, sky);

            // Aurora curtains: bright wavy bands across the picture.
            const int bend = wave(x * 2) / 14 + wave(x * 3 + y + 64) / 28;
            const int band = wave(y * 3 + bend);
            const int glow = band > 0 ? band * band / 4096 : 0;  // 0 .. 256
            int aurora[3];
            hsvToRgb(380 + wave(x + 2 * y) / 6 + glow, 200, 255, aurora);

            // A soft diamond lattice for detail that still reads when tinted.
            const int latticeA = wave(x * 8 + y * 8);
            const int latticeB = wave(x * 8 - y * 8);
            const int lattice = (latticeA * latticeB) / 65536;  // -16 .. 16

            const int i = y * size + x;
            layers.red[i] = sky[0] + aurora[0] * glow / 256 + lattice;
            layers.green[i] = sky[1] + aurora[1] * glow / 256 + lattice;
            layers.blue[i] = sky[2] + aurora[2] * glow / 256 + lattice;
        }
    }
}

// Soft stars, wrapped round the edges so they tile too.
void addStars(Layers& layers, int size) {
    StarRandom random;
    for (int star = 0; star < 140; ++star) {
        const int cx = random.below(size);
        const int cy = random.below(size);
        const int radius = 2 + random.below(4);
        const int brightness = 120 + random.below(136);
        int tint[3];
        // Separate statements: argument evaluation order differs between compilers.
        const int hue = random.below(1536);
        const int saturation = 60 + random.below(80);
        hsvToRgb(hue, saturation, 255, tint);
        const int r2 = radius * radius;
        for (int dy = -radius; dy <= radius; ++dy) {
            for (int dx = -radius; dx <= radius; ++dx) {
                const int d2 = dx * dx + dy * dy;
                if (d2 > r2) {
                    continue;
                }
                const int falloff = (r2 - d2) * (r2 - d2) * 256 / (r2 * r2);  // 0 .. 256
                const int i = ((cy + dy) & (size - 1)) * size + ((cx + dx) & (size - 1));
                layers.red[i] += tint[0] * brightness / 256 * falloff / 256;
                layers.green[i] += tint[1] * brightness / 256 * falloff / 256;
                layers.blue[i] += tint[2] * brightness / 256 * falloff / 256;
            }
        }
    }
}

}  // namespace

PictureData generateEnvironment() {
    const int size = pictureSize;
    Layers layers(size * size);
    paintSky(layers, size);
    addStars(layers, size);
    PictureData picture;
    picture.width = size;
    picture.height = size;
    picture.rgb.resize(static_cast<std::size_t>(size) * size * 3);
    for (int i = 0; i < size * size; ++i) {
        picture.rgb[i * 3 + 0] = static_cast<std::uint8_t>(clampByte(layers.red[i]));
        picture.rgb[i * 3 + 1] = static_cast<std::uint8_t>(clampByte(layers.green[i]));
        picture.rgb[i * 3 + 2] = static_cast<std::uint8_t>(clampByte(layers.blue[i]));
    }
    return picture;
}

bool writeDataSet(const std::string& directory, std::string* failure) {
    std::error_code error;
    if (!std::filesystem::create_directories(directory, error) && error) {
        if (failure) {
            *failure = directory + " could not be made: " + error.message();
        }
        return false;
    }
    for (int i = 0; i < 5; ++i) {
        const char* file = i < 4 ? kObjectFiles[i] : kEnvironmentFile;
        const std::string path =
            directory + (std::strchr(file, '/') ? std::strchr(file, '/') : file);
        errno = 0;
        const bool ok =
            i < 4 ? writeLwo(path, generateObject(i)) : writeBmp(path, generateEnvironment());
        if (!ok) {
            const int reason = errno;
            if (failure) {
                *failure = path + " could not be written: " +
                           (reason != 0 ? std::strerror(reason) : "short write");
            }
            return false;
        }
    }
    return true;
}
