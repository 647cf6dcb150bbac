#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "assets/image.h"
#include "assets/scene_object.h"
#include "scene/scene_constants.h"
#include "tests/support.h"
#include "tools/data_check.h"
#include "tools/data_generator.h"

using testing_support::scratchPath;

namespace {

// Writes a generated mesh and loads it back with the demo's reader.
bool load(const MeshData& mesh, const std::string& name, SceneObject& object) {
    const std::string path = scratchPath(name);
    return writeLwo(path, mesh) && object.loadLwo(path.c_str()) && object.buildEdges();
}

struct Bounds {
    float low = 1e9f, high = -1e9f;  // vertical extent
    float radius = 0.0f;             // largest distance from the vertical axis
    float x = 0.0f, z = 0.0f;        // the mean of the points across
    float own = 0.0f;                // largest distance from the upright line through it
};

Bounds boundsOf(const MeshData& mesh) {
    Bounds bounds;
    for (const MeshData::Point& p : mesh.points) {
        bounds.low = std::min(bounds.low, p.y);
        bounds.high = std::max(bounds.high, p.y);
        bounds.radius = std::max(bounds.radius, std::hypot(p.x, p.z));
        bounds.x += p.x / float(mesh.points.size());
        bounds.z += p.z / float(mesh.points.size());
    }
    for (const MeshData::Point& p : mesh.points) {
        bounds.own = std::max(bounds.own, std::hypot(p.x - bounds.x, p.z - bounds.z));
    }
    return bounds;
}

// Mean absolute channel difference between two rows (or columns).
double lineDifference(const PictureData& picture, int a, int b, bool columns) {
    const int w = picture.width, step = columns ? w * 3 : 3;
    const int startA = columns ? a * 3 : a * w * 3, startB = columns ? b * 3 : b * w * 3;
    double sum = 0.0;
    for (int i = 0; i < w * 3; ++i) {
        const int offset = (i / 3) * step + i % 3;
        sum += std::abs(picture.rgb[std::size_t(startA + offset)] -
                        picture.rgb[std::size_t(startB + offset)]);
    }
    return sum / (w * 3);
}

// Whether some problem mentions both pieces.
bool mentions(const std::vector<std::string>& problems, const std::string& a,
              const std::string& b = "") {
    return std::any_of(problems.begin(), problems.end(), [&](const std::string& line) {
        return line.find(a) != std::string::npos && line.find(b) != std::string::npos;
    });
}

// A fresh generated data set under root/data, with crystal2 replaced by the given mesh.
std::string dataSetWith(const std::string& name, const MeshData& crystal2) {
    const std::string root = scratchPath(name);
    std::string failed;
    EXPECT_TRUE(writeDataSet(root + "/data", &failed)) << failed;
    EXPECT_TRUE(writeLwo(root + "/data/crystal2.lwo", crystal2));
    return root;
}

MeshData unitCube(float dx = 0.0f, float dy = 0.0f) {
    MeshData mesh;
    for (int i = 0; i < 8; ++i) {
        mesh.points.push_back({static_cast<float>(i & 1) + dx,
                               static_cast<float>((i >> 1) & 1) + dy,
                               static_cast<float>((i >> 2) & 1)});
    }
    mesh.faces = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4},
                  {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    orientFacesOutward(mesh);
    return mesh;
}

TEST(DataGeneratorObjects, LoadClosedConvexAndOutward) {
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(kObjectFiles[i]);
        const MeshData mesh = generateObject(i);
        SceneObject object, reoriented;
        ASSERT_TRUE(load(mesh, "object.lwo", object));
        EXPECT_EQ(object.faceCount, static_cast<int>(mesh.faces.size()));
        ASSERT_EQ(object.pointCount, static_cast<int>(mesh.points.size()));
        EXPECT_EQ(object.points[1].position.y, mesh.points[1].y);  // positions are exact
        EXPECT_EQ(checkObjectGeometry(object, kObjectFiles[i]), std::vector<std::string>{});
        // Orienting turns inward faces and keeps outward ones.
        MeshData turned = mesh, again = mesh;
        for (std::vector<std::uint16_t>& face : turned.faces) {
            std::reverse(face.begin(), face.end());
        }
        orientFacesOutward(turned);
        orientFacesOutward(again);
        EXPECT_EQ(again.faces, mesh.faces);
        ASSERT_TRUE(load(turned, "reoriented.lwo", reoriented));
        EXPECT_EQ(checkObjectGeometry(reoriented, "reoriented"), std::vector<std::string>{});
    }
}

TEST(DataGeneratorObjects, SceneLayoutSuitsTheCamera) {
    const Bounds base = boundsOf(generateObject(0));
    EXPECT_TRUE(base.low == 0.0f && base.high <= 0.4f && base.radius >= 1.5f && base.radius <= 2.0f)
        << base.low << " " << base.high << " " << base.radius;
    std::vector<float> heights;
    Bounds crystals[3];
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        crystals[i] = boundsOf(generateObject(i + 1));
        // Standing on the base's top face, inside its rim.
        EXPECT_EQ(crystals[i].low, base.high);
        EXPECT_LT(crystals[i].radius, base.radius);
        heights.push_back(crystals[i].high);
    }
    // Apart from each other: even the upright cylinders around them do not meet.
    for (int i = 0; i < 3; ++i) {
        const Bounds& a = crystals[i];
        const Bounds& b = crystals[(i + 1) % 3];
        EXPECT_GT(std::hypot(a.x - b.x, a.z - b.z), a.own + b.own + 0.05f) << i;
    }
    std::sort(heights.begin(), heights.end());
    EXPECT_NEAR(heights[2], 3.5f, 0.25f);
    EXPECT_TRUE(heights[0] < heights[1] && heights[1] < heights[2]);
}

TEST(DataGeneratorPicture, ReadsBackAndTilesWithoutASeam) {
    const PictureData picture = generateEnvironment();
    ASSERT_TRUE(picture.width == 256 && picture.height == 256);
    const std::string path = scratchPath("env.bmp");
    ASSERT_TRUE(writeBmp(path, picture));
    Image image;
    ASSERT_TRUE(image.load(path.c_str(), readBmp));
    ASSERT_EQ(image.byteSize, picture.rgb.size());
    EXPECT_TRUE(std::equal(picture.rgb.begin(), picture.rgb.end(), image.pixels));

    // The jump across the wrap is no bigger than between neighbours inside; not flat.
    const int last = picture.width - 1;
    double inside = 0.0;
    for (int i = 0; i < last; ++i) {
        inside +=
            lineDifference(picture, i, i + 1, false) + lineDifference(picture, i, i + 1, true);
    }
    inside /= 2 * last;
    EXPECT_LE(lineDifference(picture, last, 0, false), 2.0 * inside + 4.0);
    EXPECT_LE(lineDifference(picture, last, 0, true), 2.0 * inside + 4.0);
    EXPECT_GT(lineDifference(picture, 0, picture.height / 2, false), 10.0);
}

TEST(DataGeneratorFiles, ShippedDataEqualsTheGeneratorOutput) {
    const std::string directory = scratchPath("regenerated");
    std::string failed;
    ASSERT_TRUE(writeDataSet(directory, &failed)) << failed;
    for (const char* file :
         {kObjectFiles[0], kObjectFiles[1], kObjectFiles[2], kObjectFiles[3], kEnvironmentFile}) {
        SCOPED_TRACE(file);
        std::vector<std::uint8_t> generated, shipped;
        ASSERT_TRUE(testing_support::readFile(directory + std::strchr(file, '/'), generated));
        ASSERT_TRUE(testing_support::readFile(testing_support::sourcePath(file), shipped));
        EXPECT_FALSE(generated.empty());
        EXPECT_TRUE(generated == shipped) << "regenerate with: glasswake-tool make-data data";
    }
}

TEST(Writers, RefuseWhatTheyCannotStore) {
    MeshData mesh = generateObject(2);
    mesh.faces[3][1] = static_cast<std::uint16_t>(mesh.points.size());
    EXPECT_FALSE(writeLwo(scratchPath("refused.lwo"), mesh));
    EXPECT_FALSE(std::filesystem::exists(scratchPath("refused.lwo")));
    PictureData picture = generateEnvironment();
    picture.rgb.pop_back();
    EXPECT_TRUE(encodeBmp(picture).empty());
}

TEST(DataSetCheck, FaultyObjectIsNamedWithItsFault) {
    const struct {
        const char* name;
        std::function<void(MeshData&)> damage;
        const char* expected;  // after "NAME/data/crystal2.lwo: "
        const char* absent;    // a fault that must not be reported as well
    } cases[] = {
        {"open", [](MeshData& m) { m.faces.pop_back(); }, "the mesh is not closed (face ",
         "crystal1.lwo"},
        {"empty", [](MeshData& m) { m.faces.clear(); }, "the object has no faces", "not closed"},
        // Two shells round one centre: every face and edge is convex, the solid is not.
        {"nested",
         [](MeshData& m) {
             m = unitCube(-0.5f, -0.5f);
             const MeshData inner = unitCube();
             for (const MeshData::Point& p : inner.points) {
                 m.points.push_back({p.x * 0.5f - 0.25f, p.y * 0.5f - 0.25f, p.z * 0.5f});
             }
             for (auto face : inner.faces) {
                 for (std::uint16_t& index : face) {
                     index = std::uint16_t(index + 8);
                 }
                 m.faces.push_back(face);
             }
         },
         "object is not convex: its surface goes 2 times round its centre", "wound inward"},
        // The tip sinks below the top ring: planar outward faces, but a dimple.
        {"dented",
         [](MeshData& m) {
             MeshData::Point ring{0.0f, -0.125f, 0.0f};
             for (int k = 6; k < 12; ++k) {
                 ring = {ring.x + m.points[k].x / 6, ring.y + m.points[k].y / 6,
                         ring.z + m.points[k].z / 6};
             }
             m.points[12] = ring;
         },
         "object is not convex: vertex", "wound inward"},
        // Reported once per face, not again as a convexity fault per vertex.
        {"inward",
         [](MeshData& m) {
             for (std::vector<std::uint16_t>& face : m.faces) {
                 std::reverse(face.begin(), face.end());
             }
         },
         "face 0 is wound inward (normal points towards the centre)", "object is not convex"},
        // A foot corner pulled inwards: a concave bottom face.
        {"concave",
         [](MeshData& m) {
             m.points[1].x = m.points[1].x * 0.2f + m.points[4].x * 0.8f;
             m.points[1].z = m.points[1].z * 0.2f + m.points[4].z * 0.8f;
         },
         "face 0 is not convex", "crystal1.lwo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MeshData mesh = generateObject(2);
        c.damage(mesh);
        const DataSetReport report = checkDataSet(dataSetWith(c.name, mesh));
        EXPECT_FALSE(report.ok());
        EXPECT_TRUE(
            mentions(report.problems, std::string(c.name) + "/data/crystal2.lwo: " + c.expected));
        EXPECT_FALSE(mentions(report.problems, c.absent));
    }
}

TEST(DataSetCheck, UnreadableFilesAreNamedWithTheReadersReason) {
    const std::string root = dataSetWith("missing", generateObject(2));
    std::filesystem::remove(root + "/data/crystal3.lwo");
    ASSERT_TRUE(testing_support::writeFile(root + "/data/env.bmp", {'B', 'M', 0, 0}));
    const DataSetReport report = checkDataSet(root);
    EXPECT_EQ(
        report.problems,
        (std::vector<std::string>{root + "/data/crystal3.lwo: No such file or directory",
                                  root + "/data/env.bmp: the file is too short for a BMP header"}));
    // The readable objects are still checked, each with its exact outline bound.
    ASSERT_EQ(report.summaries.size(), 3u);
    SceneObject base;
    ASSERT_TRUE(load(generateObject(0), "base.lwo", base));
    EXPECT_NE(report.summaries[0].find(std::to_string(base.edgeCount) +
                                       " edges, closed; any "
                                       "outline has at most " +
                                       std::to_string(base.edgeCount + base.faceCount) + " edges"),
              std::string::npos);
}

}  // namespace
