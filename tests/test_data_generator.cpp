#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/image.h"
#include "assets/scene_object.h"
#include "tests/support.h"
#include "tools/data_check.h"
#include "tools/data_generator.h"

using testing_support::scratchPath;

namespace {

// Writes a generated mesh and loads it back with the demo's reader.
bool loadGenerated(const MeshData& mesh, const std::string& name, SceneObject& object) {
    const std::string path = scratchPath(name);
    return writeLwo(path, mesh) && object.loadLwo(path.c_str()) && object.buildEdges();
}

struct Bounds {
    float low = 1e9f, high = -1e9f;  // vertical extent
    float radius = 0.0f;             // largest distance from the vertical axis
};

Bounds boundsOf(const MeshData& mesh) {
    Bounds bounds;
    for (const MeshData::Point& p : mesh.points) {
        bounds.low = std::min(bounds.low, p.y);
        bounds.high = std::max(bounds.high, p.y);
        bounds.radius = std::max(bounds.radius, std::sqrt(p.x * p.x + p.z * p.z));
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

TEST(DataGeneratorObjects, LoadClosedConvexAndOutward) {
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(dataFileNames[i]);
        const MeshData mesh = generateObject(i);
        SceneObject object, reoriented;
        ASSERT_TRUE(loadGenerated(mesh, dataFileNames[i], object));
        EXPECT_EQ(object.faceCount, static_cast<int>(mesh.faces.size()));
        ASSERT_EQ(object.pointCount, static_cast<int>(mesh.points.size()));
        EXPECT_EQ(object.points[1].position.y, mesh.points[1].y);  // positions are exact
        EXPECT_EQ(checkObjectGeometry(object, dataFileNames[i]), std::vector<std::string>{});
        // Orienting turns inward faces and keeps outward ones.
        MeshData turned = mesh, again = mesh;
        for (std::vector<std::uint16_t>& face : turned.faces) {
            std::reverse(face.begin(), face.end());
        }
        orientFacesOutward(turned);
        orientFacesOutward(again);
        EXPECT_EQ(again.faces, mesh.faces);
        ASSERT_TRUE(loadGenerated(turned, "reoriented.lwo", reoriented));
        EXPECT_EQ(checkObjectGeometry(reoriented, "reoriented"), std::vector<std::string>{});
    }
}

TEST(DataGeneratorObjects, SceneLayoutSuitsTheCamera) {
    const Bounds base = boundsOf(generateObject(0));
    EXPECT_TRUE(base.low == 0.0f && base.high <= 0.4f && base.radius >= 1.5f && base.radius <= 2.0f)
        << base.low << " " << base.high << " " << base.radius;
    std::vector<float> heights;
    SceneObject crystals[3];
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const MeshData mesh = generateObject(i + 1);
        const Bounds crystal = boundsOf(mesh);
        // Standing on the base's top face, inside its rim, apart from each other.
        EXPECT_EQ(crystal.low, base.high);
        EXPECT_LT(crystal.radius, base.radius);
        heights.push_back(crystal.high);
        ASSERT_TRUE(loadGenerated(mesh, "apart" + std::to_string(i) + ".lwo", crystals[i]));
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(convexObjectsApart(crystals[i], crystals[(i + 1) % 3], 0.05f)) << i;
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
    for (const char* name : dataFileNames) {
        SCOPED_TRACE(name);
        std::vector<std::uint8_t> generated, shipped;
        ASSERT_TRUE(testing_support::readFile(directory + "/" + name, generated));
        ASSERT_TRUE(testing_support::readFile(
            testing_support::sourcePath(std::string("data/") + name), shipped));
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

}  // namespace
