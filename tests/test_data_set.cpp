#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "assets/image.h"
#include "tests/render_meshes.h"
#include "tests/support.h"
#include "tools/data_check.h"
#include "tools/data_generator.h"

using testing_support::scratchPath;

namespace {

// A fresh generated data set under root/data, with crystal2 replaced by the given mesh.
std::string dataSetWith(const std::string& name, const MeshData& crystal2) {
    const std::string root = scratchPath(name);
    std::string failed;
    EXPECT_TRUE(writeDataSet(root + "/data", &failed)) << failed;
    EXPECT_TRUE(writeLwo(root + "/data/crystal2.lwo", crystal2));
    return root;
}

// The generated set passes the check, its picture reads back pixel for pixel,
// and it equals the shipped files byte for byte.
TEST(DataGenerator, PassesTheCheckReadsBackAndEqualsTheShippedData) {
    const std::string root = dataSetWith("regenerated", generateObject(2));
    const DataSetReport report = checkDataSet(root);
    EXPECT_TRUE(report.ok() && report.summaries.size() == 5) << report.problems.size();
    const PictureData picture = generateEnvironment();
    Image image;
    ASSERT_TRUE(readBmp((root + "/" + kEnvironmentFile).c_str(), &image));
    EXPECT_TRUE(image.byteSize == picture.rgb.size() &&
                std::equal(picture.rgb.begin(), picture.rgb.end(), image.pixels));
    for (const char* file :
         {kObjectFiles[0], kObjectFiles[1], kObjectFiles[2], kObjectFiles[3], kEnvironmentFile}) {
        SCOPED_TRACE(file);
        std::vector<std::uint8_t> generated, shipped;
        ASSERT_TRUE(testing_support::readFile(root + "/" + file, generated) &&
                    testing_support::readFile(testing_support::sourcePath(file), shipped));
        EXPECT_TRUE(!generated.empty() && generated == shipped)
            << "regenerate with: glasswake-tool make-data data";
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

// Each fault is named once, by the file and in words, and not also as another.
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
             m = {};
             for (float h : {1.0f, 0.5f}) {
                 const render_meshes::MeshData shell = render_meshes::cube(Vector3(), h);
                 for (std::vector<std::uint16_t> face : shell.faces) {
                     for (std::uint16_t& index : face) {
                         index = std::uint16_t(index + m.points.size());
                     }
                     m.faces.push_back(face);
                 }
                 m.points.insert(m.points.end(), shell.points.begin(), shell.points.end());
             }
         },
         "object is not convex: its surface goes 2 times round its centre", "wound inward"},
        // The tip sinks below the top ring: planar outward faces, but a dimple.
        {"dented",
         [](MeshData& m) {
             MeshData::Point ring{0.0f, -0.125f, 0.0f};
             for (int k = 6; k < 12; ++k) {
                 ring = ring + m.points[k] * (1 / 6.0f);
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
        const std::vector<std::string> problems = checkDataSet(dataSetWith(c.name, mesh)).problems;
        const auto mentions = [&](const std::string& text) {
            return std::any_of(problems.begin(), problems.end(), [&](const std::string& line) {
                return line.find(text) != std::string::npos;
            });
        };
        EXPECT_TRUE(mentions(std::string(c.name) + "/data/crystal2.lwo: " + c.expected));
        EXPECT_FALSE(mentions(c.absent));
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
    EXPECT_EQ(report.summaries.size(), 3u);  // the readable objects are still checked
}

}  // namespace
