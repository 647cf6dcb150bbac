// The file readers and the stream under them. The global allocation functions
// are replaced here: they record the largest request and fail on demand.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "assets/file_stream.h"
#include "assets/image.h"
#include "assets/scene_object.h"
#include "tests/render_meshes.h"

namespace allocation_probe {

std::size_t largestRequest = 0;  // since the last reset
long nothrowAllowance = -1;      // nothrow allocations left to succeed; -1: no limit

void reset() {
    largestRequest = 0;
    nothrowAllowance = -1;
}

void* allocate(std::size_t size, bool nothrow) {
    largestRequest = size > largestRequest ? size : largestRequest;
    if (nothrow && nothrowAllowance >= 0 && nothrowAllowance-- == 0) {
        nothrowAllowance = 0;
        return nullptr;
    }
    void* block = std::malloc(size ? size : 1);
    if (!block && !nothrow) {
        throw std::bad_alloc();
    }
    return block;
}

}  // namespace allocation_probe

// Every form is replaced: the sanitizers match each delete with its new.
// clang-format off
void* operator new(std::size_t size) { return allocation_probe::allocate(size, false); }
void* operator new[](std::size_t size) { return allocation_probe::allocate(size, false); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocation_probe::allocate(size, true); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocation_probe::allocate(size, true); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
// clang-format on

namespace {

using namespace render_meshes;
using Indices = std::vector<std::uint16_t>;

std::string save(const std::string& name, const Bytes& bytes) {
    const std::string path = testing_support::scratchPath(name);
    EXPECT_TRUE(testing_support::writeFile(path, bytes));
    return path;
}

bool load(SceneObject& object, const Bytes& bytes, const std::string& name = "object.lwo") {
    return object.loadLwo(save(name, bytes).c_str());
}

bool load(Image& image, const Bytes& bytes, const std::string& name = "image.bmp") {
    return readBmp(save(name, bytes).c_str(), &image);
}

// Only regular files are opened, at once, and a refusal says why; a failed
// open still closes the file opened before, and the readers pass the reason on.
TEST(FileStream, OpensRegularFilesOnlyAndARefusalClosesTheFirstFile) {
    FileStream stream;
    EXPECT_TRUE(stream.atEnd);
    std::uint8_t byte = 0;
    EXPECT_FALSE(stream.read(&byte, 1) || stream.seek(0) || stream.skip(1));
    EXPECT_EQ(stream.fileSize(), -1);
    std::vector<std::pair<std::string, std::string>> cases = {
        {testing_support::scratchPath("missing.bin"), "No such file or directory"},
        {testing_support::scratchDirectory(), "not a regular file"},
        {save("write.bin", {1}), "Invalid argument"},  // opened for reading only
    };
#ifndef _WIN32
    // Opening a FIFO for reading waits for a writer: a blocking open never returns here.
    const std::string fifo = testing_support::scratchPath("fifo.lwo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    cases.insert(cases.end(), {{fifo, "not a regular file"}, {"/dev/zero", "not a regular file"}});
#else
    cases.push_back({"NUL", "not a regular file"});
#endif
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        ReadFailure why;
        ASSERT_TRUE(stream.open(save("first.bin", {1, 2, 3}).c_str(), "rb"));
        EXPECT_FALSE(stream.atEnd);
        EXPECT_FALSE(stream.open(path.c_str(), reason[0] == 'I' ? "r+b" : "rb", &why));
        EXPECT_TRUE(stream.file == nullptr && stream.atEnd);
        EXPECT_STREQ(why.text, reason.c_str());
        SceneObject object;
        Image image;
        EXPECT_FALSE(reason[0] != 'I' &&
                     (object.loadLwo(path.c_str()) || readBmp(path.c_str(), &image)));
        EXPECT_TRUE(reason[0] == 'I' ||
                    (object.failure.text == reason && image.failure.text == reason));
    }
    ASSERT_TRUE(stream.open(save("empty.bin", {}).c_str(), "rb"));
    EXPECT_EQ(stream.fileSize(), 0);
}

TEST(FileStream, SeeksKeepThePositionReadingExactlyTheRestSucceedsOneMoreHitsTheEnd) {
    FileStream stream;
    ASSERT_TRUE(stream.open(save("exact.bin", {10, 20, 30, 40, 50}).c_str(), "rb"));
    std::uint8_t bytes[5] = {};
    EXPECT_FALSE(stream.read(bytes, 0));  // a zero-byte read reports failure, not the end
    EXPECT_FALSE(stream.atEnd);
    // Seeking, skipping back and asking the size keep the position.
    ASSERT_TRUE(stream.read(bytes, 2) && stream.seek(4) && stream.skip(-2));
    ASSERT_TRUE(stream.fileSize() == 5 && stream.tell() == 2 && stream.read(bytes + 2, 3));
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 5),
              (std::vector<std::uint8_t>{10, 20, 30, 40, 50}));
    EXPECT_FALSE(stream.atEnd);
    EXPECT_FALSE(stream.read(bytes, 1));
    EXPECT_TRUE(stream.atEnd);
    // A block longer than the rest fails as a whole.
    ASSERT_TRUE(stream.open(save("short.bin", {1, 2, 3}).c_str(), "rb"));
    EXPECT_FALSE(stream.read(bytes, 4));
    EXPECT_TRUE(stream.atEnd);
}

const MeshData tetra = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                        {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}}};
const MeshData box = cube(Vector3(), 1.0f);

// The cube with surface chunks around it and 1- and 2-vertex polygons among its faces.
Bytes cubeFile() {
    std::vector<Indices> polygons = box.faces;
    polygons.insert(polygons.begin() + 2, {3, 4});
    polygons.push_back({6});
    return form({pointsChunk(box.points), chunk("SRFS", {'G', 'l', 0, 0}), polygonsChunk(polygons),
                 chunk("SURF", {'G', 'l', 0, 0, 'C', 'O', 'L', 'R', 0, 4, 1, 2, 3, 0})});
}

std::vector<Indices> facesOf(const SceneObject& object) {
    std::vector<Indices> faces(std::size_t(object.faceCount));
    for (std::size_t f = 0; f < faces.size(); ++f) {
        for (std::int32_t k = 0; k < object.faces[f].vertexCount; ++k) {
            faces[f].push_back(std::uint16_t(object.faces[f].vertices[k] - object.points));
        }
    }
    return faces;
}

// Whatever a load left behind, every count matches its array and every face
// pointer points into the object, so clear, shade and the renderer are safe.
void expectConsistent(const SceneObject& object) {
    EXPECT_TRUE(object.pointCount >= 0 && object.faceCount >= 0);
    EXPECT_EQ(object.pointCount == 0, object.points == nullptr);
    EXPECT_EQ(object.faceCount == 0, object.faces == nullptr);
    EXPECT_EQ(object.edgeCount == 0, object.edges == nullptr);
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        const Face& face = object.faces[f];
        ASSERT_GE(face.vertexCount, 0);
        EXPECT_EQ(face.vertexCount == 0, face.vertices == nullptr);
        EXPECT_EQ(face.vertices == nullptr, face.edges == nullptr);
        for (std::int32_t k = 0; k < face.vertexCount; ++k) {
            const int index = face.vertices[k] ? int(face.vertices[k] - object.points) : -1;
            ASSERT_TRUE(index >= 0 && index < object.pointCount) << "face " << f;
        }
    }
}

// Face 0 is the worked plane example, face 1 a slanted quad whose first three
// vertices alone count, face 2 has collinear first vertices and face 3 faces -x.
TEST(LoadLwo, PlanesCentreAndShading) {
    SceneObject object;
    ASSERT_TRUE(
        load(object, objectFile({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}, {2, 2, 2}},
                                 {{0, 1, 2}, {1, 2, 3, 4}, {0, 4, 5}, {0, 3, 2}}})));
    EXPECT_LT((object.center - Vector3(4, 4, 4) * (1 / 6.0f)).length(), 1e-6f);
    const float t = 1.0f / std::sqrt(3.0f);
    const struct {
        Vector3 normal;
        float distance;
        Vector3 point;
    } planes[] = {{{0, 0, 1}, 0, {}}, {{t, t, t}, t, {1, 0, 0}}, {{}, 0, {}}, {{-1, 0, 0}, 0, {}}};
    for (int f = 0; f < 4; ++f) {
        const Face& face = object.faces[f];
        EXPECT_LT((face.planeNormal - planes[f].normal).length(), 1e-6f) << f;
        EXPECT_NEAR(face.planeDistance, planes[f].distance, 1e-6f) << f;
        EXPECT_LT((face.planePoint - planes[f].point).length(), 1e-6f) << f;
    }
    // Light along +x: only face 3 is lit (head-on); face 0 is edge-on, face 1 faces
    // away and face 2 is degenerate. Nothing is clamped; alpha is the material's.
    object.baseColor = Color(1, 0.5f, 2, 0.75f);
    object.shade(Vector3(1, 0, 0), Color(0.1f, 0.2f, 0.3f, 0.9f), Color(3, 3, 3, 3));
    for (int f = 0; f < 4; ++f) {
        const Color& c = object.faces[f].color;
        EXPECT_EQ(std::vector<float>({c.r, c.g, c.b, c.a}),
                  f < 3 ? std::vector<float>({0.1f, 0.1f, 0.6f, 0.75f})
                        : std::vector<float>({3.1f, 1.6f, 6.6f, 0.75f}));
    }
}

// An edge table as indices (-1 for none): each edge's end points and faces,
// then the edge of every face side.
std::vector<long> tableOf(const SceneObject& o) {
    const auto at = [](const auto* p, const auto* base) { return p ? long(p - base) : -1L; };
    std::vector<long> table;
    for (const Edge* e = o.edges; e != o.edges + o.edgeCount; ++e) {
        table.insert(table.end(), {at(e->vertexA, o.points), at(e->vertexB, o.points),
                                   at(e->faceA, o.faces), at(e->faceB, o.faces)});
    }
    for (const Face* f = o.faces; f != o.faces + o.faceCount; ++f) {
        for (std::int32_t k = 0; k < f->vertexCount; ++k) {
            table.push_back(at(f->edges[k], o.edges));
        }
    }
    return table;
}

// The linker as first written, each side searching the edges found so far:
// its table, or none unless every edge joins exactly two sides.
std::vector<long> searchingLinker(const SceneObject& o) {
    std::vector<long> edges, sides;
    const std::vector<Indices> faces = facesOf(o);
    for (std::size_t f = 0; f < faces.size(); ++f) {
        for (std::size_t k = 0, n = faces[f].size(); k < n; ++k) {
            const long a = faces[f][k], b = faces[f][(k + 1) % n];
            std::size_t e = 0;
            while (e < edges.size() && !(edges[e] == a && edges[e + 1] == b) &&
                   !(edges[e] == b && edges[e + 1] == a)) {
                e += 4;
            }
            if (e == edges.size()) {
                edges.insert(edges.end(), {a, b, long(f), -1});
            } else if (edges[e + 3] < 0) {
                edges[e + 3] = long(f);
            } else {
                return {};
            }
            sides.push_back(long(e / 4));
        }
    }
    if (edges.empty() || edges.size() != 2 * sides.size()) {
        return {};
    }
    edges.insert(edges.end(), sides.begin(), sides.end());
    return edges;
}

// Every file is loaded over a previous object. An accepted one replaces it
// with the expected faces, and its edges are linked as the searching linker
// links them, or refused with the reason given; a refused file says why and
// leaves a consistent object ("untouched: " when refused before the previous
// object is touched).
TEST(LoadLwo, AcceptsReplacingOrRefusesSayingWhyAndLinksAsTheSearchingLinker) {
    const Bytes points = pointsChunk(tetra.points);
    const std::int64_t pointsEnd = std::int64_t(points.size()) + 4;
    Bytes formEndsEarly = form({points, polygonsChunk(tetra.faces)}, pointsEnd);
    formEndsEarly.push_back(0xEE);
    Indices fan(65535);  // the longest record a 16-bit count allows
    for (std::size_t k = 0; k < fan.size(); ++k) {
        fan[k] = std::uint16_t(k % 3);
    }
    Bytes notForm = cubeFile(), notLwob = cubeFile();
    notForm[0] = 'X';
    notLwob[11] = 'X';
    const std::string foreign =
        "untouched: not an LWOB object (the file does not start with FORM....LWOB)";
    const std::string empty = "the object has no faces",
                      shared = " shares an edge that two other faces already share";
    const std::string open = "the mesh is not closed (face ",
                      past = " chunk runs past the end of the ";
    struct Case {
        Bytes bytes;
        std::string reason;
        std::string links = "";           // why buildEdges refuses an accepted file
        std::vector<Indices> faces = {};  // when given, or when the object is empty
    };
    std::vector<Case> cases = {
        {objectFile(tetra), "", "", tetra.faces},
        {cubeFile(), "", "", box.faces},  // short polygons dropped wherever they stand
        {form({}), "", empty},            // type only: an empty object
        {formEndsEarly, "", empty},       // chunks past the FORM size are never read
        {form({points, polygonsChunk({{0}, {1, 2}}), polygonsChunk(tetra.faces)}), "", "",
         tetra.faces},
        {form({pointsChunk({}), points, polygonsChunk(tetra.faces)}), "", "", tetra.faces},
        {form({chunk("SRFS", {'A', 0}), points, chunk("CRVS", {1, 2, 3}),
               polygonsChunk(tetra.faces), chunk("SURF", Bytes(40, 0x7F)), chunk("ZERO", {})}),
         "", "", tetra.faces},
        {objectFile({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {fan}}), "", "face 0" + shared},
        {objectFile({box.points, {box.faces.begin(), box.faces.end() - 1}}), "",
         open + "3 has an edge no other face shares)"},
        // Edges 0-1 and 1-3 meet three faces, 0-2 and 2-3 one: as many sides as a closed mesh.
        {objectFile({tetra.points, {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 1}}}), "",
         "face 3" + shared},
        // Two triangles back to back on coincident but separate points.
        {objectFile({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
                     {{0, 1, 2}, {3, 5, 4}}}),
         "", open + "1 has an edge no other face shares)"},
        // A side from a point to itself, used by both faces; and an odd side count.
        {objectFile({tetra.points, {{0, 0, 1, 2}, {2, 1, 0, 0}}}), "", ""},
        {objectFile({tetra.points, {{0, 1, 2}, {2, 1, 0}, {0, 1, 3}}}), "", "face 2" + shared},
        {form({points}, pointsEnd - 1), "PNTS" + past + "FORM"},
        {form({points, chunk("ZERO", {})}, pointsEnd + 4),
         "a chunk header runs past the end of the FORM"},
        {form({points}, 0xFFFFFFFFu), "a chunk header runs past the end of the file"},
        {form({points, points}), "a second PNTS chunk"},
        {form({chunk("PNTS", Bytes(13, 0))}), "PNTS chunk size 13 is not a multiple of 12"},
        {form({points, polygonsChunk(tetra.faces), polygonsChunk(tetra.faces)}),
         "a second POLS chunk"},
        {form({polygonsChunk(tetra.faces), points}), "face 0 uses point 0 of 0"},
        // Index 4 of 4 points, in the middle: no half-filled face may remain.
        {objectFile({tetra.points, {{0, 1, 2}, {0, 1, 2, 3, 4}, {1, 2, 3}}}),
         "face 1 uses point 4 of 4"},
        {form({points, chunk("POLS", {0, 3, 0, 0, 0, 1, 0, 2, 0, 1, 0, 3, 0})}),
         "a polygon runs past the end of the POLS chunk"},
        // The last record ends one byte into the next chunk.
        {form({points, chunk("POLS", {0, 3, 0, 0, 0, 1, 0, 2, 0}), chunk("ZERO", {})}),
         "a polygon runs past the end of the POLS chunk"},
        // Huge declared sizes must fail before anything that large is allocated.
        {form({chunk("PNTS", Bytes(12, 0), 0xFFFFFFF0u)}, 0xFFFFFFFCu), "PNTS" + past + "file"},
        {form({chunk("S\xffRF", {1, 2, 3}, 0x7FFFFFF0u)}, 0xFFFFFFFCu), "S?RF" + past + "file"},
        {notForm, foreign},
        {notLwob, foreign},
        {form({}, 3), "untouched: FORM size 3 is too small"},
    };
    for (const char* name : {"base2", "crystal1", "crystal2", "crystal3"}) {
        cases.push_back({{}, "", "", {}});
        ASSERT_TRUE(testing_support::readFile(
            testing_support::sourcePath(std::string("data/") + name + ".lwo"), cases.back().bytes));
    }
    const Bytes full = cubeFile();
    for (std::size_t length = 0; length < full.size(); ++length) {
        cases.push_back(
            {Bytes(full.begin(), full.begin() + std::ptrdiff_t(length)),
             length < 12 ? "untouched: the file is too short for an LWOB header" : "?"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason + c.links + " (" + std::to_string(c.bytes.size()) + " bytes)");
        SceneObject object;
        ASSERT_TRUE(load(object, objectFile(tetra), "before.lwo"));
        ASSERT_TRUE(object.buildEdges());
        const Vertex* before = object.points;
        allocation_probe::reset();
        EXPECT_EQ(load(object, c.bytes), c.reason.empty());
        EXPECT_LT(allocation_probe::largestRequest, std::size_t(1) << 20);
        expectConsistent(object);
        const bool untouched = c.reason.rfind("untouched: ", 0) == 0;
        EXPECT_EQ(object.failure.text,
                  c.reason == "?" ? object.failure.text : c.reason.substr(untouched ? 11 : 0));
        EXPECT_NE(object.failure.text[0] == '\0', c.reason != "");
        EXPECT_EQ(untouched, object.points == before && object.edges);
        EXPECT_TRUE(!c.reason.empty() || (c.faces.empty() && c.links != empty) ||
                    facesOf(object) == c.faces);
        // Whatever was left behind can be shaded and linked, twice (a rebuild
        // starts from scratch), into the same table as the searching linker's.
        object.shade(Vector3(0, -1, 0), Color(0, 0.2f, 0.2f, 0.5f), Color(0, 1, 1, 0));
        const std::vector<long> table = searchingLinker(object);
        for (int build = 0; build < 2; ++build) {
            ASSERT_EQ(object.buildEdges(), !table.empty());
            EXPECT_TRUE(!c.reason.empty() || object.failure.text == c.links);
            EXPECT_TRUE(table.empty() || tableOf(object) == table);
            expectConsistent(object);
        }
    }
}

TEST(LoadLwo, AllocationFailureAtAnyPointIsAFailedLoadOrLinkSayingSo) {
    const std::string path = testing_support::scratchPath("alloc.lwo");
    ASSERT_TRUE(testing_support::writeFile(path, cubeFile()));
    bool loaded = false;
    for (long allowance = 0; allowance < 100 && !loaded; ++allowance) {
        SceneObject object;
        allocation_probe::reset();
        allocation_probe::nothrowAllowance = allowance;
        loaded = object.loadLwo(path.c_str());
        allocation_probe::reset();
        expectConsistent(object);
        EXPECT_TRUE(loaded ? object.faceCount == 6
                           : std::string(object.failure.text).rfind("no memory for ", 0) == 0)
            << object.failure.text;
    }
    // No memory for the edges: no table, and no face keeps a pointer into the old one.
    SceneObject object;
    ASSERT_TRUE(object.loadLwo(path.c_str()));
    for (long allowance : {0, 1}) {
        ASSERT_TRUE(object.buildEdges());
        allocation_probe::nothrowAllowance = allowance;
        EXPECT_FALSE(object.buildEdges());
        allocation_probe::reset();
        EXPECT_EQ(tableOf(object), std::vector<long>(24, -1));
    }
}

void putU32(Bytes& out, std::uint32_t value) {  // little-endian
    out.insert(out.end(), {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16),
                           std::uint8_t(value >> 24)});
}

// The byte at channel c of the pixel at (x, fileRow), as stored in the file.
std::uint8_t sample(std::uint32_t x, std::uint32_t fileRow, std::uint32_t c) {
    return std::uint8_t(x * 7 + fileRow * 31 + c * 101 + 1);
}

struct BmpSpec {
    std::int32_t width = 2;
    std::int32_t height = 2;
    std::uint16_t bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t paletteEntries = 0;
    std::uint32_t infoSize = 40;
    std::uint32_t dataOffset = 0;  // 0: right after the palette
    const char* signature = "BM";
};

// A BMP whose pixel bytes come from sample(), rows padded with 0xEE. Pictures of
// 1 MB or more get their headers only.
Bytes makeBmp(const BmpSpec& spec) {
    const std::uint32_t rows =
        std::uint32_t(spec.height < 0 ? -std::int64_t(spec.height) : spec.height);
    const std::uint32_t pixelBytes = spec.bitsPerPixel / 8u;
    const std::uint32_t rowBytes = (std::uint32_t(spec.width) * pixelBytes + 3u) & ~3u;
    const std::uint32_t offset =
        spec.dataOffset ? spec.dataOffset : 14 + spec.infoSize + 4 * spec.paletteEntries;
    const std::uint64_t pictureBytes = std::uint64_t(std::uint32_t(spec.width)) * pixelBytes * rows;
    Bytes out(spec.signature, spec.signature + 2);
    // Planes (1) and depth share one little-endian word.
    for (std::uint32_t v :
         {offset + rowBytes * rows, 0u, offset, spec.infoSize, std::uint32_t(spec.width),
          std::uint32_t(spec.height), 1u | std::uint32_t(spec.bitsPerPixel) << 16, spec.compression,
          rowBytes * rows, 2835u, 2835u, spec.paletteEntries, 0u}) {
        putU32(out, v);
    }
    out.resize(14 + spec.infoSize, 0xAB);                    // a larger header's extra fields
    out.resize(out.size() + 4 * spec.paletteEntries, 0x80);  // the palette goes unread
    for (std::uint32_t r = 0; pictureBytes < (1u << 20) && r < rows; ++r) {
        for (std::uint32_t i = 0; i < std::uint32_t(spec.width) * pixelBytes; ++i) {
            out.push_back(sample(i / pixelBytes, r, i % pixelBytes));
        }
        out.resize(out.size() + rowBytes - std::uint32_t(spec.width) * pixelBytes, 0xEE);
    }
    return out;
}

void expectEmpty(const Image& image) {
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width | image.height | image.bitsPerPixel | image.rowBytes | image.byteSize,
              0u);
}

// Every image pixel equals the file pixel it came from, rows turned top first
// and channels turned to red, green, blue(, alpha).
void expectPixelsFromFile(const Image& image, bool bottomUp) {
    const std::uint32_t channels = image.bitsPerPixel / 8;
    const std::uint32_t order[4] = {channels == 1 ? 0u : 2u, 1, 0, 3};
    for (std::uint32_t y = 0; y < image.height; ++y) {
        const std::uint32_t fileRow = bottomUp ? image.height - 1 - y : y;
        for (std::uint32_t x = 0; x < image.width; ++x) {
            for (std::uint32_t c = 0; c < channels; ++c) {
                ASSERT_EQ(image.pixels[y * image.rowBytes + x * channels + c],
                          sample(x, fileRow, order[c]))
                    << x << "," << y << " channel " << c;
            }
        }
    }
}

TEST(Image, FailedAllocateLeavesItEmpty) {
    // Zero arguments, sizes beyond 32 bits (or wrapping 64), a failing allocation (8x8x24).
    const std::uint32_t wrap = 0x80000000u;  // wrap x wrap x 4 bytes is 2^64
    const std::uint32_t cases[][3] = {
        {0, 4, 8},      {4, 0, 8},        {4, 4, 0},  {0x40000000u, 1, 32}, {65536, 65536, 8},
        {~0u, ~0u, 32}, {wrap, wrap, 32}, {1, 1, 33}, {1, 1, ~0u},          {0x20000000u, 2, 32},
        {8, 8, 24}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c[0]) + "x" + std::to_string(c[1]) + "x" +
                     std::to_string(c[2]));
        Image image;
        ASSERT_TRUE(image.allocate(2, 2, 32));
        allocation_probe::reset();
        allocation_probe::nothrowAllowance = c[0] == 8 ? 0 : -1;
        EXPECT_FALSE(image.allocate(c[0], c[1], c[2]));
        allocation_probe::nothrowAllowance = -1;
        EXPECT_LT(allocation_probe::largestRequest, std::size_t(1) << 20);
        expectEmpty(image);
    }
    Image image;
    EXPECT_TRUE(image.allocate(0xFFFF, 1, 32));
}

TEST(ReadBmp, LoadsSupportedLayoutsTopRowFirstInRgbOrder) {
    // Padded rows, a palette to skip, top-down rows, alpha and a larger header to skip.
    const BmpSpec cases[] = {
        {256, 256, 24}, {5, 3, 24}, {6, 4, 8, 0, 256}, {3, -4, 24}, {3, 2, 32, 0, 0, 124}};
    for (const BmpSpec& spec : cases) {
        SCOPED_TRACE(spec.width);
        Image image;
        ASSERT_TRUE(load(image, makeBmp(spec)));
        const std::uint32_t height = std::uint32_t(spec.height < 0 ? -spec.height : spec.height);
        const std::uint32_t rowBytes =
            std::uint32_t(spec.width) * spec.bitsPerPixel / 8u;  // unpadded
        EXPECT_EQ(std::vector<std::uint32_t>({image.width, image.height, image.bitsPerPixel,
                                              image.rowBytes, image.byteSize}),
                  std::vector<std::uint32_t>({std::uint32_t(spec.width), height, spec.bitsPerPixel,
                                              rowBytes, rowBytes * height}));
        expectPixelsFromFile(image, spec.height > 0);
    }
}

TEST(ReadBmp, RefusesWhatItDoesNotReadBeforeAllocatingAndSaysWhy) {
    // Each with a piece of its reason.
    // clang-format off
    const std::pair<BmpSpec, const char*> cases[] = {
        {{2, 2, 1}, "with 1 bits"}, {{2, 2, 4}, "with 4 bits"}, {{2, 2, 16}, "with 16 bits"},    // depths
        {{2, 2, 0}, "with 0 bits"}, {{2, 2, 48}, "with 48 bits"},
        {{2, 2, 8, 1}, "compression 1 "}, {{2, 2, 24, 2}, "compression 2 "},                     // compressions
        {{2, 2, 32, 3}, "compression 3 "}, {{2, 2, 32, 4}, "compression 4 "},
        {{2, 0}, "size 2 x 0 "}, {{0, 2}, "size 0 x 2 "}, {{-2, 2}, "size -2 x 2 "},             // sizes
        {{1, INT32_MIN, 8}, "1 x 2147483648 is too large"}, {{1000, 1000, 24}, "rows run past"},
        {{0x40000000, 1, 32}, "too large"}, {{0x55555556, 1, 24}, "too large"},                  // overflows
        {{0x10000, 0x10000, 32}, "65536 x 65536 is too large"},
        {{1, 1, 8, 0, 0, 40, 0xFFFFFFF0u}, "data starts past"}, {{4, 4, 8, 0, 0, 40, 124}, "rows run past"},
        {{2, 2, 24, 0, 0, 40, 0, "BN"}, "not a BMP picture (the file does not start with BM)"}};
    // clang-format on
    for (const auto& [spec, reason] : cases) {
        SCOPED_TRACE(reason);
        Bytes file = makeBmp(spec);
        file.resize(file.size() + 64, 0x11);
        Image image;
        allocation_probe::reset();
        EXPECT_FALSE(load(image, file, "refused.bmp"));
        EXPECT_LT(allocation_probe::largestRequest, std::size_t(1) << 20);
        EXPECT_NE(std::strstr(image.failure.text, reason), nullptr) << image.failure.text;
        expectEmpty(image);
    }
    EXPECT_FALSE(readBmp(save("null.bmp", makeBmp(BmpSpec())).c_str(), nullptr));
}

TEST(ReadBmp, EveryTruncationIsRefusedAndKeepsThePreviousPicture) {
    const Bytes full = makeBmp({3, 2, 8, 0, 4});
    Image image;
    ASSERT_TRUE(image.allocate(2, 2, 8));
    std::memset(image.pixels, 0x42, image.byteSize);
    const std::uint8_t* pixels = image.pixels;
    for (std::size_t length = 0; length < full.size(); ++length) {
        const Bytes prefix(full.begin(), full.begin() + std::ptrdiff_t(length));
        EXPECT_FALSE(load(image, prefix, "prefix.bmp")) << "length " << length;
        EXPECT_NE(image.failure.text[0], '\0');
        ASSERT_EQ(image.pixels, pixels);
        EXPECT_EQ(image.width, 2u);
        EXPECT_EQ(image.pixels[3], 0x42);
    }
    EXPECT_TRUE(load(image, full, "full.bmp"));
}

TEST(ReadBmp, AllocationFailureIsAFailedLoad) {
    const std::string path = save("alloc.bmp", makeBmp({4, 4}));
    Image image;
    ASSERT_TRUE(image.allocate(2, 2, 8));
    const std::uint8_t* pixels = image.pixels;
    // The staging buffer fails: the previous picture stays.
    allocation_probe::nothrowAllowance = 0;
    EXPECT_FALSE(readBmp(path.c_str(), &image));
    allocation_probe::reset();
    EXPECT_EQ(image.pixels, pixels);
    EXPECT_STREQ(image.failure.text, "no memory for 48 bytes of pixels");
    // The picture's own buffer fails: the image was released for it and stays empty.
    allocation_probe::nothrowAllowance = 1;
    EXPECT_FALSE(readBmp(path.c_str(), &image));
    allocation_probe::reset();
    expectEmpty(image);
    EXPECT_STREQ(image.failure.text, "no memory for a 4 x 4 picture");
    EXPECT_TRUE(readBmp(path.c_str(), &image));
    EXPECT_STREQ(image.failure.text, "");
    expectPixelsFromFile(image, true);
}

}  // namespace
