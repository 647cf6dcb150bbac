#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/scene_object.h"
#include "tests/support.h"
#include "tools/data_check.h"
#include "tools/data_generator.h"

using testing_support::scratchPath;
using testing_support::sourcePath;

namespace {

// Whether some problem mentions every one of the given pieces.
bool mentions(const std::vector<std::string>& problems, const std::string& a,
              const std::string& b = "") {
    return std::any_of(problems.begin(), problems.end(), [&](const std::string& line) {
        return line.find(a) != std::string::npos && line.find(b) != std::string::npos;
    });
}

// A fresh copy of the generated data set under root/data, with crystal2
// replaced by the given mesh.
std::string dataSetWith(const std::string& name, const MeshData& crystal2) {
    const std::string root = scratchPath(name);
    std::string failed;
    EXPECT_TRUE(writeDataSet(root + "/data", &failed)) << failed;
    EXPECT_TRUE(writeLwo(root + "/data/crystal2.lwo", crystal2));
    return root;
}

MeshData unitCube() {
    MeshData mesh;
    for (int i = 0; i < 8; ++i) {
        mesh.points.push_back({static_cast<float>(i & 1), static_cast<float>((i >> 1) & 1),
                               static_cast<float>((i >> 2) & 1)});
    }
    mesh.faces = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4},
                  {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    orientFacesOutward(mesh);
    return mesh;
}

MeshData shifted(MeshData mesh, float dx, float dy, float dz) {
    for (MeshData::Point& p : mesh.points) {
        p.x += dx;
        p.y += dy;
        p.z += dz;
    }
    return mesh;
}

bool load(const MeshData& mesh, const std::string& name, SceneObject& object) {
    const std::string path = scratchPath(name);
    return writeLwo(path, mesh) && object.loadLwo(path.c_str()) && object.buildEdges();
}

TEST(DataSetCheck, ShippedSetPasses) {
    const DataSetReport report = checkDataSet(sourcePath("."));
    EXPECT_TRUE(report.ok());
    EXPECT_EQ(report.problems, std::vector<std::string>{});
    ASSERT_EQ(report.summaries.size(), 5u);
    EXPECT_NE(report.summaries[0].find("data/base2.lwo: "), std::string::npos);
    EXPECT_NE(report.summaries[4].find("data/env.bmp: 256 x 256"), std::string::npos);
}

TEST(DataSetCheck, OpenMeshIsNamed) {
    MeshData mesh = generateObject(2);
    mesh.faces.pop_back();
    const DataSetReport report = checkDataSet(dataSetWith("open", mesh));
    EXPECT_FALSE(report.ok());
    EXPECT_TRUE(mentions(report.problems,
                         "open/data/crystal2.lwo: mesh is not closed (edge table could not be "
                         "built)"));
    // Only the broken file is blamed.
    EXPECT_FALSE(mentions(report.problems, "crystal1.lwo"));
}

TEST(DataSetCheck, DentedObjectIsNotConvex) {
    // The tip sinks below the top ring: its faces stay planar triangles
    // wound outward, but the solid gets a dimple.
    MeshData mesh = generateObject(2);
    MeshData::Point ring{0.0f, 0.0f, 0.0f};
    for (int k = 6; k < 12; ++k) {
        ring.x += mesh.points[k].x / 6.0f;
        ring.y += mesh.points[k].y / 6.0f;
        ring.z += mesh.points[k].z / 6.0f;
    }
    mesh.points[12] = {ring.x, ring.y - 0.125f, ring.z};
    const DataSetReport report = checkDataSet(dataSetWith("dented", mesh));
    EXPECT_TRUE(mentions(report.problems, "dented/data/crystal2.lwo: object is not convex: vertex",
                         "lies in front of face"));
    EXPECT_FALSE(mentions(report.problems, "wound inward"));
    EXPECT_FALSE(mentions(report.problems, "not planar"));
}

TEST(DataSetCheck, InwardWoundObjectIsNamed) {
    MeshData mesh = generateObject(2);
    for (std::vector<std::uint16_t>& face : mesh.faces) {
        std::reverse(face.begin(), face.end());
    }
    const DataSetReport report = checkDataSet(dataSetWith("inward", mesh));
    EXPECT_TRUE(mentions(report.problems,
                         "inward/data/crystal2.lwo: face 0 is wound inward (normal points "
                         "towards the centre)"));
    // Reported once per face, not again as a convexity fault per vertex.
    EXPECT_FALSE(mentions(report.problems, "object is not convex"));
    EXPECT_TRUE(mentions(report.problems, "more problems"));
}

TEST(DataSetCheck, ConcaveAndWarpedFacesAreNamed) {
    // Pull one foot corner towards the axis within the bottom plane: the
    // bottom hexagon becomes concave and two side quads leave their planes.
    MeshData mesh = generateObject(2);
    MeshData::Point& corner = mesh.points[1];
    const MeshData::Point& opposite = mesh.points[4];
    corner.x = corner.x * 0.2f + opposite.x * 0.8f;
    corner.z = corner.z * 0.2f + opposite.z * 0.8f;
    const DataSetReport report = checkDataSet(dataSetWith("concave", mesh));
    EXPECT_TRUE(mentions(report.problems, "concave/data/crystal2.lwo: face 0 is not convex"));
    EXPECT_TRUE(mentions(report.problems, "crystal2.lwo: face", "is not planar"));
}

TEST(DataSetCheck, MissingAndUnreadableFilesAreNamed) {
    const std::string root = dataSetWith("missing", generateObject(2));
    std::filesystem::remove(root + "/data/crystal3.lwo");
    ASSERT_TRUE(testing_support::writeFile(root + "/data/env.bmp", {'B', 'M', 0, 0}));
    const DataSetReport report = checkDataSet(root);
    EXPECT_TRUE(mentions(report.problems, "missing/data/crystal3.lwo: cannot be read"));
    EXPECT_TRUE(mentions(report.problems, "missing/data/env.bmp: cannot be read as a BMP"));
    EXPECT_EQ(report.problems.size(), 2u);
    // The readable objects are still checked and summarised.
    EXPECT_EQ(report.summaries.size(), 3u);
}

TEST(DataSetCheck, OutlineTooLargeForTheRenderer) {
    // A prism with an 80-sided cross-section: seen from the camera, its
    // silhouette and back faces together exceed the 100-entry outline table.
    MeshData mesh;
    const int sides = 80;
    for (int level = 0; level < 2; ++level) {
        for (int k = 0; k < sides; ++k) {
            const double angle = 6.283185307179586 * k / sides;
            mesh.points.push_back({static_cast<float>(0.5 * std::cos(angle)),
                                   0.3125f + static_cast<float>(level),
                                   static_cast<float>(0.5 * std::sin(angle))});
        }
    }
    std::vector<std::uint16_t> bottom, top;
    for (int k = 0; k < sides; ++k) {
        const int next = (k + 1) % sides;
        bottom.push_back(static_cast<std::uint16_t>(k));
        top.push_back(static_cast<std::uint16_t>(sides + k));
        mesh.faces.push_back({static_cast<std::uint16_t>(k), static_cast<std::uint16_t>(next),
                              static_cast<std::uint16_t>(sides + next),
                              static_cast<std::uint16_t>(sides + k)});
    }
    mesh.faces.push_back(bottom);
    mesh.faces.push_back(top);
    orientFacesOutward(mesh);
    const DataSetReport report = checkDataSet(dataSetWith("many", mesh));
    EXPECT_TRUE(mentions(report.problems, "many/data/crystal2.lwo: outline reaches",
                         "the renderer holds 100"));
    EXPECT_FALSE(mentions(report.problems, "convex"));
}

TEST(OutlineBound, CountsSilhouetteEdgesAndBackFaces) {
    SceneObject cube;
    ASSERT_TRUE(load(unitCube(), "cube.lwo", cube));
    // Straight in front of one face: that face is lit up front, its four
    // sides form the silhouette, the other five faces are back faces.
    EXPECT_EQ(outlineBound(cube, Vector3(0.5f, 0.5f, 5.0f)), 4 + 5);
    // Along a diagonal: three faces front, a six-edge silhouette, three back.
    EXPECT_EQ(outlineBound(cube, Vector3(5.0f, 5.0f, 5.0f)), 6 + 3);
    // An eye in a face's plane counts that face as front-facing.
    EXPECT_EQ(outlineBound(cube, Vector3(0.5f, 0.5f, 1.0f)), 4 + 5);
    const std::vector<Vector3> eyes{{0.5f, 0.5f, 5.0f}, {5.0f, 5.0f, 5.0f}};
    EXPECT_EQ(largestOutline(cube, eyes), 9);
}

TEST(ObjectsApart, FacePlanesAndEdgePairsSeparate) {
    SceneObject a, b, overlapping, diagonal;
    ASSERT_TRUE(load(unitCube(), "a.lwo", a));
    ASSERT_TRUE(load(shifted(unitCube(), 1.5f, 0.0f, 0.0f), "b.lwo", b));
    ASSERT_TRUE(load(shifted(unitCube(), 0.5f, 0.5f, 0.0f), "overlap.lwo", overlapping));
    EXPECT_TRUE(convexObjectsApart(a, b, 0.25f));
    EXPECT_FALSE(convexObjectsApart(a, b, 0.75f));
    EXPECT_FALSE(convexObjectsApart(a, overlapping, 0.0f));

    // Two edges that cross at right angles, with a gap between them: only
    // the plane through both edge directions separates them.
    MeshData wedge;
    wedge.points = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.5f, 1.0f, 0.0f},
                    {0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 1.0f}, {0.5f, 1.0f, 1.0f}};
    wedge.faces = {{0, 1, 2}, {3, 4, 5}, {0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}};
    orientFacesOutward(wedge);
    // The same wedge upside down and turned a quarter, its ridge 0.2 above the first.
    MeshData turned;
    for (const MeshData::Point& p : wedge.points) {
        turned.points.push_back({p.z, 2.2f - p.y, p.x});
    }
    turned.faces = wedge.faces;
    orientFacesOutward(turned);
    ASSERT_TRUE(load(wedge, "wedge.lwo", diagonal));
    SceneObject across;
    ASSERT_TRUE(load(turned, "turned.lwo", across));
    EXPECT_TRUE(convexObjectsApart(diagonal, across, 0.1f));
}

TEST(ObjectGeometry, GoodObjectHasNoFaults) {
    SceneObject cube;
    ASSERT_TRUE(load(unitCube(), "good.lwo", cube));
    EXPECT_EQ(checkObjectGeometry(cube, "good"), std::vector<std::string>{});
    SceneObject empty;
    EXPECT_TRUE(mentions(checkObjectGeometry(empty, "empty"), "empty: object has no faces"));
}

}  // namespace
