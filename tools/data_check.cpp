#include "tools/data_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "assets/image.h"
#include "assets/scene_object.h"
#include "render/traversal.h"
#include "scene/scene.h"
#include "scene/scene_constants.h"

namespace {

std::string format(const char* pattern, int a, int b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

// Size of the object: the largest coordinate range, at least 1, so that
// tolerances are relative for big objects and absolute for small ones.
float objectScale(const SceneObject& object) {
    Vector3 low = object.points[0].position;
    Vector3 high = low;
    for (int i = 1; i < object.pointCount; ++i) {
        const Vector3& p = object.points[i].position;
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    return std::max({1.0f, high.x - low.x, high.y - low.y, high.z - low.z});
}

float planeOffset(const Face& face, const Vector3& p) {
    return face.planeNormal.dot(p) - face.planeDistance;
}

// Whether a face polygon turns the same way as its normal at every corner and
// goes round exactly once (a star polygon turns one way but twice round).
bool faceConvex(const Face& face, float scale) {
    const int n = face.vertexCount;
    const float turnTolerance = 1e-6f * scale * scale;
    double totalTurn = 0.0;
    for (int k = 0; k < n; ++k) {
        const Vector3& a = face.vertices[k]->position;
        const Vector3& b = face.vertices[(k + 1) % n]->position;
        const Vector3& c = face.vertices[(k + 2) % n]->position;
        const Vector3 side = b - a;
        const Vector3 next = c - b;
        const float turn = side.cross(next).dot(face.planeNormal);
        if (turn < -turnTolerance) {
            return false;
        }
        totalTurn += std::atan2(double(turn), double(side.dot(next)));
    }
    return std::fabs(totalTurn - 6.283185307179586) < 1e-3;
}

// How many times the faces wrap around the centre: their solid angles seen
// from it, summed (triangle fans), over the whole sphere's.
long wrapsAroundCentre(const SceneObject& object) {
    double total = 0.0;
    for (int f = 0; f < object.faceCount; ++f) {
        const Face& face = object.faces[f];
        const Vector3 a = face.vertices[0]->position - object.center;
        for (int k = 1; k + 1 < face.vertexCount; ++k) {
            const Vector3 b = face.vertices[k]->position - object.center;
            const Vector3 c = face.vertices[k + 1]->position - object.center;
            const double la = a.length(), lb = b.length(), lc = c.length();
            total += 2.0 * std::atan2(double(a.dot(b.cross(c))),
                                      la * lb * lc + double(a.dot(b)) * lc + double(a.dot(c)) * lb +
                                          double(b.dot(c)) * la);
        }
    }
    return std::lround(total / (4.0 * 3.141592653589793));
}

std::string dataPath(const std::string& root, const char* file) {
    std::string base = root;
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    if (base.empty() || base == ".") {
        return file;
    }
    return (base == "/" ? "" : base) + "/" + file;
}

constexpr int maxProblemsPerFile = 12;

// Each face: enough vertices, a plane, planar, convex, wound outward. False
// when any face is unsound enough that the solid cannot be judged.
bool checkFaces(const SceneObject& object, const std::string& name, float scale,
                std::vector<std::string>& problems) {
    const float tolerance = 1e-4f * scale;
    bool facesSound = true;
    for (int f = 0; f < object.faceCount; ++f) {
        const Face& face = object.faces[f];
        if (face.vertexCount < 3 || !face.vertices) {
            problems.push_back(name + format(": face %d has fewer than 3 vertices", f));
            facesSound = false;
            continue;
        }
        if (face.planeNormal.length() < 0.5f) {
            problems.push_back(
                name +
                format(": face %d is degenerate (its first three vertices are collinear)", f));
            facesSound = false;
            continue;
        }
        for (int k = 0; k < face.vertexCount; ++k) {
            if (std::fabs(planeOffset(face, face.vertices[k]->position)) > tolerance) {
                problems.push_back(
                    name + format(": face %d is not planar (vertex %d is off its plane)", f, k));
                break;
            }
        }
        if (!faceConvex(face, scale)) {
            problems.push_back(name + format(": face %d is not convex", f));
        }
        if (planeOffset(face, object.center) >= -tolerance) {
            problems.push_back(
                name + format(": face %d is wound inward (normal points towards the centre)", f));
            facesSound = false;
        }
    }
    return facesSound;
}

// The solid: no vertex in front of a face it shares an edge with, and the
// surface wraps its centre once.
void checkSolid(const SceneObject& object, const std::string& name, float scale,
                std::vector<std::string>& problems) {
    const float tolerance = 1e-4f * scale;
    for (int e = 0; e < object.edgeCount; ++e) {
        const Edge& edge = object.edges[e];
        for (const Face* near : {edge.faceA, edge.faceB}) {
            const Face* far = near == edge.faceA ? edge.faceB : edge.faceA;
            for (int k = 0; k < far->vertexCount; ++k) {
                if (planeOffset(*near, far->vertices[k]->position) > tolerance) {
                    problems.push_back(
                        name + format(": object is not convex: vertex %d lies in front of face %d",
                                      int(far->vertices[k] - object.points),
                                      int(near - object.faces)));
                    break;
                }
            }
        }
    }
    const long wraps = wrapsAroundCentre(object);
    if (wraps != 1) {
        problems.push_back(name + format(": object is not convex: its surface goes %d times "
                                         "round its centre",
                                         int(wraps)));
    }
}

}  // namespace

std::vector<std::string> checkObjectGeometry(const SceneObject& object, const std::string& name) {
    std::vector<std::string> problems;
    if (object.faceCount <= 0 || !object.faces || object.pointCount <= 0 || !object.points) {
        problems.push_back(name + ": the object has no faces");
        return problems;
    }
    const float scale = objectScale(object);
    const bool facesSound = checkFaces(object, name, scale, problems);
    // The solid, once its faces are sound and every edge joins two of them:
    // an inward face is reported once above, not again for every edge it meets.
    bool linked = facesSound && object.edges && object.edgeCount > 0;
    for (int e = 0; linked && e < object.edgeCount; ++e) {
        linked = object.edges[e].faceA && object.edges[e].faceB;
    }
    if (linked) {
        checkSolid(object, name, scale, problems);
    }
    if (problems.size() > static_cast<std::size_t>(maxProblemsPerFile)) {
        const int more = static_cast<int>(problems.size()) - maxProblemsPerFile;
        problems.resize(static_cast<std::size_t>(maxProblemsPerFile));
        problems.push_back(name + format(": ... and %d more problems", more));
    }
    return problems;
}

DataSetReport checkDataSet(const std::string& root) {
    DataSetReport report;
    for (const char* file : kObjectFiles) {
        const std::string path = dataPath(root, file);
        auto object = std::make_unique<SceneObject>();
        const ObjectSetup setup = setUpSceneObject(*object, path.c_str());
        if (setup == ObjectSetup::NotLoaded) {
            report.problems.push_back(path + ": " + object->failure.text);
            continue;
        }
        const bool closed = setup == ObjectSetup::Ready;
        if (!closed && object->faceCount > 0) {
            report.problems.push_back(path + ": " + object->failure.text);
        }
        const std::vector<std::string> faults = checkObjectGeometry(*object, path);
        report.problems.insert(report.problems.end(), faults.begin(), faults.end());
        if (closed) {
            // The renderer sizes its edge table by this bound, so no outline overruns it.
            char line[256];
            std::snprintf(line, sizeof line,
                          "%s: %d points, %d faces, %d edges, closed; any outline has at most %d "
                          "edges (one per edge and face)",
                          path.c_str(), object->pointCount, object->faceCount, object->edgeCount,
                          int(scratchEdgesNeeded(*object)));
            report.summaries.push_back(line);
        }
    }
    const std::string picturePath = dataPath(root, kEnvironmentFile);
    Image image;
    if (image.load(picturePath.c_str(), readBmp)) {
        char line[256];
        std::snprintf(line, sizeof line, "%s: %u x %u picture, %u bits per pixel",
                      picturePath.c_str(), image.width, image.height, image.bitsPerPixel);
        report.summaries.push_back(line);
    } else {
        report.problems.push_back(picturePath + ": " + image.failure.text);
    }
    return report;
}
