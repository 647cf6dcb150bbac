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

// A prism with an 80-sided cross-section: its outline exceeds the renderer's table.
MeshData manySided() {
    MeshData mesh;
    const int sides = 80;
    std::vector<std::uint16_t> bottom, top;
    for (int k = 0; k < sides; ++k) {
        const double angle = 6.283185307179586 * k / sides;
        const float x = static_cast<float>(0.5 * std::cos(angle));
        const float z = static_cast<float>(0.5 * std::sin(angle));
        mesh.points.push_back({x, 0.3125f, z});
        mesh.points.push_back({x, 1.3125f, z});
        const auto at = [&](int i, int level) { return std::uint16_t(i % sides * 2 + level); };
        bottom.push_back(at(k, 0));
        top.push_back(at(k, 1));
        mesh.faces.push_back({at(k, 0), at(k + 1, 0), at(k + 1, 1), at(k, 1)});
    }
    mesh.faces.push_back(bottom);
    mesh.faces.push_back(top);
    orientFacesOutward(mesh);
    return mesh;
}

TEST(DataSetCheck, FaultyObjectIsNamedWithItsFault) {
    const struct {
        const char* name;
        std::function<void(MeshData&)> damage;
        const char* expected;  // after "NAME/data/crystal2.lwo: "
        const char* absent;    // a fault that must not be reported as well
    } cases[] = {
        {"open", [](MeshData& m) { m.faces.pop_back(); },
         "mesh is not closed (edge table could not be built)", "crystal1.lwo"},
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
        {"many", [](MeshData& m) { m = manySided(); }, "outline reaches", "convex"},
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

TEST(DataSetCheck, MissingAndUnreadableFilesAreNamed) {
    const std::string root = dataSetWith("missing", generateObject(2));
    std::filesystem::remove(root + "/data/crystal3.lwo");
    ASSERT_TRUE(testing_support::writeFile(root + "/data/env.bmp", {'B', 'M', 0, 0}));
    const DataSetReport report = checkDataSet(root);
    EXPECT_TRUE(mentions(report.problems, "missing/data/crystal3.lwo: cannot be read"));
    EXPECT_TRUE(mentions(report.problems, "missing/data/env.bmp: cannot be read as a BMP"));
    EXPECT_EQ(report.problems.size(), 2u);
    EXPECT_EQ(report.summaries.size(), 3u);  // the readable objects are still checked
}

TEST(OutlineBound, CountsSilhouetteEdgesAndBackFaces) {
    SceneObject cube;
    ASSERT_TRUE(load(unitCube(), "cube.lwo", cube));
    // Silhouette edges plus back faces: in front of a face, along a diagonal, and with
    // the eye in a face's plane (that face counts as front-facing).
    EXPECT_EQ(outlineBound(cube, Vector3(0.5f, 0.5f, 5.0f)), 4 + 5);
    EXPECT_EQ(outlineBound(cube, Vector3(5.0f, 5.0f, 5.0f)), 6 + 3);
    EXPECT_EQ(outlineBound(cube, Vector3(0.5f, 0.5f, 1.0f)), 4 + 5);
    SceneObject empty;
    EXPECT_TRUE(mentions(checkObjectGeometry(empty, "empty"), "empty: object has no faces"));
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
