#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "assets/scene_object.h"
#include "tests/support.h"
#include "tools/data_check.h"
#include "tools/data_generator.h"

using testing_support::scratchPath;

namespace {

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

bool load(const MeshData& mesh, const std::string& name, SceneObject& object) {
    const std::string path = scratchPath(name);
    return writeLwo(path, mesh) && object.loadLwo(path.c_str()) && object.buildEdges();
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

TEST(ObjectsApart, FacePlanesAndEdgePairsSeparate) {
    SceneObject a, b, overlapping, wedgeObject, turnedObject;
    ASSERT_TRUE(load(unitCube(), "a.lwo", a));
    ASSERT_TRUE(load(unitCube(1.5f), "b.lwo", b));
    ASSERT_TRUE(load(unitCube(0.5f, 0.5f), "overlap.lwo", overlapping));
    EXPECT_TRUE(convexObjectsApart(a, b, 0.25f));
    EXPECT_FALSE(convexObjectsApart(a, b, 0.75f));
    EXPECT_FALSE(convexObjectsApart(a, overlapping, 0.0f));

    // Two ridges crossing at right angles with a gap: only the plane through
    // both edge directions separates them.
    MeshData wedge;
    wedge.points = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.5f, 1.0f, 0.0f},
                    {0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 1.0f}, {0.5f, 1.0f, 1.0f}};
    wedge.faces = {{0, 1, 2}, {3, 4, 5}, {0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}};
    orientFacesOutward(wedge);
    MeshData turned;  // upside down, a quarter turn, its ridge 0.2 above the first
    for (const MeshData::Point& p : wedge.points) {
        turned.points.push_back({p.z, 2.2f - p.y, p.x});
    }
    turned.faces = wedge.faces;
    orientFacesOutward(turned);
    ASSERT_TRUE(load(wedge, "wedge.lwo", wedgeObject));
    ASSERT_TRUE(load(turned, "turned.lwo", turnedObject));
    EXPECT_TRUE(convexObjectsApart(wedgeObject, turnedObject, 0.1f));
}

}  // namespace
