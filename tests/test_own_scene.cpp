// A scene of one's own: pictures (BMP, PNG, JPEG), OBJ meshes and scene
// files, read as the scene reads them, and every hostile form refused with
// its reason.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "assets/picture.h"
#include "assets/scene_object.h"
#include "scene/hooks.h"
#include "scene/scene.h"
#include "scene/scene_file.h"
#include "tests/render_meshes.h"
#include "tests/support.h"

// The encoder makes the tests' JPEGs; it is not part of the program.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wpedantic"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

using testing_support::scratchPath;
using testing_support::sourcePath;
using testing_support::writeFile;

namespace {

using Bytes = std::vector<std::uint8_t>;

void putU32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(std::uint8_t(value >> shift));
    }
}

void chunk(Bytes& png, const char* type, const Bytes& data) {
    putU32(png, std::uint32_t(data.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = start; i < png.size(); ++i) {
        crc ^= png[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    putU32(png, ~crc);
}

// A PNG of the given form; rows are the filtered scanlines (filter byte
// first), stored uncompressed in one zlib stream.
Bytes makePng(std::uint32_t width, std::uint32_t height, int depth, int colorType,
              const Bytes& rows, const Bytes& palette = {}) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    putU32(header, width);
    putU32(header, height);
    header.insert(header.end(), {std::uint8_t(depth), std::uint8_t(colorType), 0, 0, 0});
    chunk(png, "IHDR", header);
    if (!palette.empty()) {
        chunk(png, "PLTE", palette);
    }
    Bytes zlib = {0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(65535, rows.size() - at);
        zlib.push_back(at + n == rows.size() ? 1 : 0);
        zlib.insert(zlib.end(), {std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(~n),
                                 std::uint8_t(~n >> 8)});
        zlib.insert(zlib.end(), rows.begin() + long(at), rows.begin() + long(at + n));
        at += n;
    } while (at < rows.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : rows) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putU32(zlib, (b << 16) | a);
    chunk(png, "IDAT", zlib);
    chunk(png, "IEND", {});
    return png;
}

void appendBytes(void* context, void* data, int size) {
    auto& bytes = *static_cast<Bytes*>(context);
    bytes.insert(bytes.end(), static_cast<std::uint8_t*>(data),
                 static_cast<std::uint8_t*>(data) + size);
}

// A 16 x 8 JPEG, red on the left half and blue on the right, with an EXIF
// orientation segment when orientation is not 0.
Bytes makeJpeg(int orientation) {
    Bytes rgb;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            rgb.insert(rgb.end(),
                       {std::uint8_t(x < 8 ? 220 : 0), 0, std::uint8_t(x < 8 ? 0 : 220)});
        }
    }
    Bytes jpeg;
    stbi_write_jpg_to_func(appendBytes, &jpeg, 16, 8, 3, rgb.data(), 95);
    if (orientation) {
        // APP1: "Exif\0\0", a big-endian TIFF header, one IFD with one entry.
        Bytes app1 = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0,
                      'M',  'M',  0, 42, 0,   0,   0,   8,   0, 1,
                      0x01, 0x12, 0, 3,  0,   0,   0,   1,   0, std::uint8_t(orientation),
                      0,    0,    0, 0,  0,   0};
        jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    }
    return jpeg;
}

const std::uint8_t* pixel(const Image& image, std::uint32_t x, std::uint32_t y) {
    return image.pixels + (std::size_t(y) * image.width + x) * 3;
}

std::string save(const std::string& name, const Bytes& bytes) {
    const std::string path = scratchPath(name);
    EXPECT_TRUE(writeFile(path, bytes));
    return path;
}

std::string saveText(const std::string& name, const std::string& text) {
    return save(name, Bytes(text.begin(), text.end()));
}

}  // namespace

TEST(Pictures, ShippedBmpIsReadExactlyAsBefore) {
    Image bmp, picture;
    ASSERT_TRUE(readBmp(sourcePath("data/env.bmp").c_str(), &bmp));
    ASSERT_TRUE(readPicture(sourcePath("data/env.bmp").c_str(), &picture));
    ASSERT_EQ(picture.byteSize, bmp.byteSize);
    EXPECT_EQ(std::memcmp(picture.pixels, bmp.pixels, bmp.byteSize), 0);
}

TEST(Pictures, PngFormsComeOutAsRgb) {
    // 16-bit RGB: the high byte of each sample counts.
    const Bytes deep = {0, 0xC8, 0x11, 0x64, 0x22, 0x32, 0x33, 0, 0x10, 0x20, 0x30, 0xFF, 0xFF};
    // Palette indices 1 and 0 (8 bits) and the palette they name.
    const Bytes indexed = {0, 1, 0, 0, 0, 1};
    const Bytes palette = {10, 20, 30, 200, 150, 100};
    // 16-bit grey.
    const Bytes grey = {0, 0x80, 0x00, 0xFF, 0xFF};
    Image image;
    ASSERT_TRUE(readPicture(save("deep.png", makePng(2, 1, 16, 2, deep)).c_str(), &image))
        << image.failure.text;
    ASSERT_EQ(image.width, 2u);
    EXPECT_EQ(Bytes(image.pixels, image.pixels + 6), (Bytes{200, 100, 50, 0, 32, 255}));
    ASSERT_TRUE(
        readPicture(save("indexed.png", makePng(2, 2, 8, 3, indexed, palette)).c_str(), &image));
    EXPECT_EQ(Bytes(image.pixels, image.pixels + 6), (Bytes{200, 150, 100, 10, 20, 30}));
    ASSERT_TRUE(readPicture(save("grey.png", makePng(2, 1, 16, 0, grey)).c_str(), &image));
    EXPECT_EQ(Bytes(image.pixels, image.pixels + 6), (Bytes{128, 128, 128, 255, 255, 255}));
}

TEST(Pictures, ResamplingFitsTheTextureInLinearLight) {
    // 80 x 80 becomes 64 x 64; a flat colour stays flat, and a fine checker
    // of black and white keeps its light (sRGB about 188), not its code (128).
    Bytes flat, checker;
    for (int y = 0; y < 80; ++y) {
        flat.push_back(0);
        checker.push_back(0);
        for (int x = 0; x < 80; ++x) {
            flat.insert(flat.end(), {200, 100, 50});
            const std::uint8_t v = (x + y) % 2 ? 255 : 0;
            checker.insert(checker.end(), {v, v, v});
        }
    }
    Image image;
    ASSERT_TRUE(readPicture(save("flat.png", makePng(80, 80, 8, 2, flat)).c_str(), &image));
    ASSERT_EQ(image.width, 64u);
    ASSERT_EQ(image.height, 64u);
    for (std::uint32_t i = 0; i < image.byteSize; i += 3) {
        ASSERT_EQ(Bytes(image.pixels + i, image.pixels + i + 3), (Bytes{200, 100, 50})) << i;
    }
    ASSERT_TRUE(readPicture(save("checker.png", makePng(80, 80, 8, 2, checker)).c_str(), &image));
    double sum = 0.0;
    for (std::uint32_t i = 0; i < image.byteSize; ++i) {
        sum += image.pixels[i];
    }
    EXPECT_NEAR(sum / image.byteSize, 188.0, 8.0);
    EXPECT_EQ(textureSide(6000), 2048u);
    EXPECT_EQ(textureSide(90), 64u);
    EXPECT_EQ(textureSide(91), 128u);
    EXPECT_EQ(textureSide(1), 1u);
}

TEST(Pictures, JpegOrientationIsApplied) {
    Image upright, turned, flipped;
    ASSERT_TRUE(readPicture(save("upright.jpg", makeJpeg(0)).c_str(), &upright));
    ASSERT_TRUE(readPicture(save("turned.jpg", makeJpeg(6)).c_str(), &turned));
    ASSERT_TRUE(readPicture(save("flipped.jpg", makeJpeg(3)).c_str(), &flipped));
    EXPECT_EQ(upright.width, 16u);
    EXPECT_GT(pixel(upright, 2, 4)[0], 150);  // red on the left
    // Turned a quarter clockwise: 8 wide, 16 high, the red half on top.
    ASSERT_EQ(turned.width, 8u);
    ASSERT_EQ(turned.height, 16u);
    EXPECT_GT(pixel(turned, 4, 2)[0], 150);
    EXPECT_GT(pixel(turned, 4, 13)[2], 150);
    // Turned half round: the red half on the right.
    EXPECT_GT(pixel(flipped, 13, 4)[0], 150);
    EXPECT_GT(pixel(flipped, 2, 4)[2], 150);
}

TEST(Pictures, HostileFilesAreRefusedWithAReason) {
    const Bytes oneRow = {0, 1, 2, 3};
    Bytes huge = makePng(10000, 10000, 8, 2, oneRow);    // 100 megapixels declared
    Bytes bomb = makePng(1, 1, 8, 2, Bytes(200000, 0));  // far more data than 1 pixel needs
    Bytes cut = makePng(4, 4, 8, 2, Bytes(4 * 13, 7));
    cut.resize(cut.size() - 30);
    Bytes jpeg = makeJpeg(0);
    jpeg.resize(jpeg.size() / 2);
    // A Huffman table listing more than 256 codes: the decoder would write
    // past its table.
    // The same in the second table of a segment: its first count is found
    // only by stepping over the first table whole.
    Bytes tables = makeJpeg(0);
    Bytes second = makeJpeg(0);
    for (std::size_t at = 2; at + 5 + 16 < tables.size(); ++at) {
        if (tables[at] == 0xFF && tables[at + 1] == 0xC4) {
            tables[at + 5 + 15] = 255;
            tables[at + 5 + 14] = 255;
            std::size_t codes = 0;
            for (std::size_t i = at + 5; i < at + 5 + 16; ++i) {
                codes += second[i];
            }
            ASSERT_LT(at + 4 + 17 + codes + 17, second.size());
            second[at + 4 + 17 + codes + 1] = 255;
            break;
        }
    }
    // A small JPEG that declares 4096 x 4096 pixels: the decoder would make
    // up nearly all of them.
    Bytes bomb16 = makeJpeg(0);
    for (std::size_t at = 2; at + 9 < bomb16.size(); ++at) {
        if (bomb16[at] == 0xFF && bomb16[at + 1] == 0xC0) {
            bomb16[at + 5] = 0x10;  // height 4096
            bomb16[at + 6] = 0;
            bomb16[at + 7] = 0x10;  // width 4096
            bomb16[at + 8] = 0;
            break;
        }
    }
    const struct {
        const char* name;
        Bytes bytes;
        const char* reason;
    } cases[] = {
        {"empty.png", {}, "the picture file is empty"},
        {"gif.png", {'G', 'I', 'F', '8', '9', 'a', 1, 0}, "not a BMP, PNG or JPEG picture"},
        {"huge.png", huge, "over the 64-megapixel limit"},
        {"bomb.png", bomb, "compressed pixels"},
        {"cut.png", cut, "PNG could not be decoded"},
        {"cut.jpg", jpeg, "JPEG could not be decoded"},
        {"tables.jpg", tables, "a Huffman table lists more than 256 codes"},
        {"second.jpg", second, "a Huffman table lists more than 256 codes"},
        {"bomb.jpg", bomb16, "4096 x 4096 pixels cannot come from"},
    };
    for (const auto& c : cases) {
        Image image;
        EXPECT_FALSE(readPicture(save(c.name, c.bytes).c_str(), &image)) << c.name;
        EXPECT_NE(std::strstr(image.failure.text, c.reason), nullptr)
            << c.name << ": " << image.failure.text;
        EXPECT_EQ(image.pixels, nullptr) << c.name;
    }
}

namespace {

const char* const kCube =
    "# a unit cube, corners and faces in OBJ's forms\n"
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\nvn 0 0 1\n"
    "f 1/1/1 4/1/1 3/1/1 2/1/1\nf 5//1 6//1 7//1 8//1\nf 1 2 6 5\nf 2 3 7 6\nf -6 -5 -1 -2\n"
    "f 4 1 5 8\n";

std::string cubeWith(const char* from, const char* to) {
    std::string text = kCube;
    const std::size_t at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, std::strlen(from), to);
}

}  // namespace

TEST(ObjMeshes, ClosedMeshesLoadFlatFacesWholeOthersSplit) {
    SceneObject object;
    ASSERT_TRUE(object.loadObj(saveText("cube.obj", kCube).c_str())) << object.failure.text;
    EXPECT_EQ(object.faceCount, 6);
    EXPECT_EQ(object.edgeCount, 12);
    EXPECT_TRUE(object.convex);
    EXPECT_EQ(object.faceLines[5], 16);
    EXPECT_EQ(object.notice.text[0], '\0');
    // One corner pushed out of its three faces' planes: they split in two.
    ASSERT_TRUE(object.loadObj(saveText("bent.obj", cubeWith("v 1 1 1", "v 1.2 1.1 1.3")).c_str()))
        << object.failure.text;
    EXPECT_EQ(object.faceCount, 9);
    // Pushed in: still closed, no longer convex.
    ASSERT_TRUE(object.loadObj(saveText("dent.obj", cubeWith("v 1 1 1", "v .6 .6 .6")).c_str()));
    EXPECT_FALSE(object.convex);
    // Wound inward throughout: turned round, and said.
    std::string inward;
    for (const char* face : {"f 2 3 4 1\n", "f 8 7 6 5\n", "f 5 6 2 1\n", "f 6 7 3 2\n",
                             "f 7 8 4 3\n", "f 8 5 1 4\n"}) {
        inward += face;
    }
    const std::string points = std::string(kCube).substr(0, std::string(kCube).find("vn"));
    ASSERT_TRUE(object.loadObj(saveText("inward.obj", points + inward).c_str()));
    EXPECT_STREQ(object.notice.text, "turned round: its faces were wound inward");
    EXPECT_TRUE(object.convex);
    EXPECT_GT(object.faces[0].planeNormal.dot(object.faces[0].planePoint - object.center), 0.0f);
}

TEST(ObjMeshes, HostileMeshesAreRefusedNamingTheLine) {
    const struct {
        const char* name;
        std::string text;
        const char* reason;
    } cases[] = {
        {"empty.obj", "", "the OBJ file has no faces"},
        {"nan.obj", cubeWith("v 0 1 1", "v 0 nan 1"),
         "line 9: a vertex coordinate is not a finite"},
        {"short.obj", "v 1 2", "line 1: a vertex needs three numbers"},
        {"range.obj", cubeWith("f 4 1 5 8", "f 4 1 5 9"), "line 16: the face uses vertex 9 of 8"},
        {"zero.obj", cubeWith("f 4 1 5 8", "f 4 1 0 8"), "line 16: the face uses vertex 0"},
        {"huge.obj", cubeWith("f 4 1 5 8", "f 4 1 5 99999999999999999999"),
         "line 16: the face uses"},
        {"repeat.obj", cubeWith("f 4 1 5 8", "f 4 1 4 8"), "line 16: the face uses vertex 4 twice"},
        {"two.obj", cubeWith("f 4 1 5 8", "f 4 1"), "line 16: a face needs at least three"},
        {"open.obj", cubeWith("f 4 1 5 8", ""), "the mesh is not closed"},
        {"flat.obj", cubeWith("f 4 1 5 8", "f 4 1 5 8\nv 2 0 0\nf 1 2 9"),
         "line 18: the face has no area"},
        {"wound.obj", cubeWith("f 4 1 5 8", "f 8 5 1 4"),
         "not wound consistently (face 0 (line 11) against face 5 (line 16))"},
        {"binary.obj", std::string("v 0 0 0\n\0\n", 11), "NUL bytes"},
    };
    for (const auto& c : cases) {
        SceneObject object;
        EXPECT_FALSE(object.loadMesh(saveText(c.name, c.text).c_str())) << c.name;
        EXPECT_NE(std::strstr(object.failure.text, c.reason), nullptr)
            << c.name << ": " << object.failure.text;
    }
}

// An LWOB object a scene names is wound as an OBJ mesh must be: one way
// throughout, turned round (and said, and found convex) when that way is in.
TEST(LwobMeshes, AreWoundAsObjMeshesAre) {
    const render_meshes::MeshData box = render_meshes::cube(Vector3(), 1.0f);
    render_meshes::MeshData inward = box;
    for (auto& face : inward.faces) {
        std::reverse(face.begin(), face.end());
    }
    render_meshes::MeshData mixed = box;
    std::reverse(mixed.faces[3].begin(), mixed.faces[3].end());
    SceneObject object;
    ASSERT_TRUE(object.loadMesh(save("box.lwo", render_meshes::objectFile(box)).c_str()));
    EXPECT_TRUE(object.convex);
    EXPECT_EQ(object.notice.text[0], '\0');
    ASSERT_TRUE(object.loadMesh(save("inward.lwo", render_meshes::objectFile(inward)).c_str()))
        << object.failure.text;
    EXPECT_STREQ(object.notice.text, "turned round: its faces were wound inward");
    EXPECT_TRUE(object.convex);
    EXPECT_GT(object.faces[0].planeNormal.dot(object.faces[0].planePoint - object.center), 0.0f);
    EXPECT_FALSE(object.loadMesh(save("mixed.lwo", render_meshes::objectFile(mixed)).c_str()));
    EXPECT_STREQ(object.failure.text,
                 "the faces are not wound consistently (face 0 against face 3)");
}

namespace {

// Two tetrahedra, one above the other, whose nearest edges (the lower's top,
// the upper's bottom) cross at right angles `gap` apart, both turned so no
// axis of the boxes parts them.
void loadWedges(float gap, SceneObject (&objects)[2]) {
    const float points[2][4][3] = {{{-1, 0, 0}, {1, 0, 0}, {0, -1, -1}, {0, -1, 1}},
                                   {{0, gap, -1}, {0, gap, 1}, {-1, gap + 1, 0}, {1, gap + 1, 0}}};
    const float c = std::sqrt(0.5f);  // 45 degrees about z, then about x
    for (int i = 0; i < 2; ++i) {
        std::string text;
        for (const auto& p : points[i]) {
            const float x = c * p[0] - c * p[1];
            const float y = c * p[0] + c * p[1];
            text += "v " + std::to_string(x) + " " + std::to_string(c * y - c * p[2]) + " " +
                    std::to_string(c * y + c * p[2]) + "\n";
        }
        text += "f 1 2 3\nf 1 3 4\nf 1 4 2\nf 2 4 3\n";
        const std::string name = "wedge" + std::to_string(i) + ".obj";
        ASSERT_TRUE(objects[i].loadObj(saveText(name, text).c_str())) << objects[i].failure.text;
        ASSERT_TRUE(objects[i].convex);
    }
}

}  // namespace

// Convex objects that share no space are apart whichever axis parts them:
// a face's normal or, as here, the cross of an edge of each.
TEST(SceneFiles, ObjectsApartAcrossTheirEdgesAreNotTakenForOverlapping) {
    SceneObject objects[2];
    ReadFailure failure;
    loadWedges(0.3f, objects);
    EXPECT_TRUE(objectsApart(objects, 2, failure)) << failure.text;
    loadWedges(-0.2f, objects);
    EXPECT_FALSE(objectsApart(objects, 2, failure));
    EXPECT_STREQ(failure.text, "base and crystal1 overlap after their scale and offset");
}

namespace {

// A scene file naming the shipped meshes by absolute path; extra lines go
// into [crystal2], the picture as given.
std::string sceneText(const std::string& picture, const std::string& crystal2 = "",
                      const std::string& crystal2Mesh = "data/crystal2.lwo") {
    std::string text = "picture = '" + picture + "'\n";
    const char* meshes[4] = {"data/base2.lwo", "data/crystal1.lwo", crystal2Mesh.c_str(),
                             "data/crystal3.lwo"};
    for (int i = 0; i < 4; ++i) {
        const bool shipped = std::strncmp(meshes[i], "data/", 5) == 0;
        const std::string mesh = shipped ? sourcePath(meshes[i]) : meshes[i];
        text += std::string("[") + kSceneObjectNames[i] + "]\nmesh = '" + mesh + "'\n";
        text += i == 2 ? crystal2 : "";
    }
    return text;
}

}  // namespace

TEST(SceneFiles, ValuesAreReadAndEveryMistakeNamed) {
    SceneDescription scene;
    ReadFailure failure;
    const std::string env = sourcePath("data/env.bmp");
    ASSERT_TRUE(readSceneFile(saveText("good.toml", sceneText(env,
                                                              "scale = 0.5\n"
                                                              "offset = [1, 2, 3]\n"
                                                              "refract-color = [1, 0, 0, 1]\n"
                                                              "refractive-index = 2.4\n"))
                                  .c_str(),
                              scene, failure))
        << failure.text;
    EXPECT_EQ(scene.objects[2].scale, 0.5f);
    EXPECT_EQ(scene.objects[2].offset.z, 3.0f);
    EXPECT_EQ(scene.objects[2].refractColor.g, 0.0f);
    EXPECT_EQ(scene.objects[2].refractiveIndex, 2.4f);
    EXPECT_EQ(scene.objects[1].refractiveIndex, kObjectRefractiveIndex);
    // Relative names are taken from the scene file's folder.
    ASSERT_TRUE(readSceneFile(
        saveText("near.toml",
                 "picture = 'sky.png'\n" + sceneText(env).substr(sceneText(env).find('\n') + 1))
            .c_str(),
        scene, failure));
    EXPECT_EQ(scene.picture, scratchPath("sky.png"));
    const struct {
        std::string text;
        const char* reason;
    } cases[] = {
        {"picture = 'a.png'\n[base\n", "line 2: "},
        {sceneText(env).substr(sceneText(env).find('\n') + 1), "names no picture"},
        {sceneText(env, "scale = -1\n"), "[crystal2]: scale is missing or out of range"},
        {sceneText(env, "offset = [1, 2]\n"), "[crystal2]: offset is missing or out of range"},
        {sceneText(env, "base-colour = [1, 1, 1, 1]\n"), "[crystal2]: unknown key \"base-colour\""},
        {sceneText(env, "refractive-index = nan\n"), "[crystal2]: refractive-index"},
        {sceneText(env) + "[crystal4]\nmesh = 'x'\n", "unknown entry \"crystal4\""},
        {"picture = 'a.png'\n", "no [base] table"},
        {"# sky\npicture = 'caf\xC3\xA9.png'\n", "line 2: a scene file is plain ASCII"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(readSceneFile(saveText("bad.toml", c.text).c_str(), scene, failure)) << c.text;
        EXPECT_NE(std::strstr(failure.text, c.reason), nullptr) << c.text << ": " << failure.text;
    }
}

TEST(SceneFiles, DescribedScenesSetUpOrStopWithTheReason) {
    SceneDescription scene;
    ReadFailure failure;
    const std::string env = sourcePath("data/env.bmp");
    const std::string cube = saveText("dent.obj", cubeWith("v 1 1 1", "v .6 .6 .6"));
    const struct {
        std::string text;
        const char* reason;  // null: sets up
    } cases[] = {
        {sceneText(env, "refractive-index = 1.5\n"), nullptr},
        {sceneText(scratchPath("empty.png")), "the picture file is empty"},
        {sceneText(env, "offset = [10, 0, 0]\n", cube), "the mesh is not convex"},
        {sceneText(env, "", sourcePath("data/crystal1.lwo")), "crystal1 and crystal2 overlap"},
    };
    save("empty.png", {});
    for (const auto& c : cases) {
        ASSERT_TRUE(readSceneFile(saveText("scene.toml", c.text).c_str(), scene, failure));
        customScene = &scene;
        const bool ready = PreInit();
        EXPECT_EQ(ready, !c.reason);
        if (c.reason) {
            EXPECT_NE(std::strstr(GetFailureReason(), c.reason), nullptr) << GetFailureReason();
        } else {
            EXPECT_EQ(sceneObjects[2].refractiveIndex, 1.5f);
        }
        Shutdown();
        customScene = nullptr;
    }
}
