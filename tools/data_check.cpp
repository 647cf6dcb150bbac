#include "tools/data_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "assets/image.h"
#include "assets/scene_object.h"
#include "scene/scene_constants.h"

namespace {

struct Vec {
    double x = 0.0, y = 0.0, z = 0.0;
};

Vec toVec(const Vector3& v) {
    return {v.x, v.y, v.z};
}
Vec sub(const Vec& a, const Vec& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
double dot(const Vec& a, const Vec& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec cross(const Vec& a, const Vec& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double length(const Vec& a) {
    return std::sqrt(dot(a, a));
}

std::string format(const char* pattern, int a, int b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

// Size of the object: the largest coordinate range, at least 1, so that
// tolerances are relative for big objects and absolute for small ones.
double objectScale(const SceneObject& object) {
    if (object.pointCount <= 0 || !object.points) {
        return 1.0;
    }
    Vec low = toVec(object.points[0].position);
    Vec high = low;
    for (int i = 1; i < object.pointCount; ++i) {
        const Vec p = toVec(object.points[i].position);
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    return std::max({1.0, high.x - low.x, high.y - low.y, high.z - low.z});
}

bool faceUsable(const Face& face) {
    return face.vertexCount >= 3 && face.vertices;
}

// Whether a face polygon turns the same way as its normal at every corner and
// goes round exactly once (a star polygon turns one way but twice round).
bool faceConvex(const Face& face, const Vec& normal, double scale) {
    const int n = face.vertexCount;
    const double turnTolerance = 1e-9 * scale * scale;
    double totalTurn = 0.0;
    for (int k = 0; k < n; ++k) {
        const Vec a = toVec(face.vertices[k]->position);
        const Vec b = toVec(face.vertices[(k + 1) % n]->position);
        const Vec c = toVec(face.vertices[(k + 2) % n]->position);
        const Vec side = sub(b, a);
        const Vec next = sub(c, b);
        const double turn = dot(cross(side, next), normal);
        if (turn < -turnTolerance) {
            return false;
        }
        totalTurn += std::atan2(turn, dot(side, next));
    }
    const double twoPi = 6.283185307179586;
    return std::fabs(totalTurn - twoPi) < 1e-3;
}

// The mirrored and refracted positions of a point through one face, as the
// child views move their eyes.
Vector3 reflectThrough(const Face& face, const Vector3& p) {
    const float s = face.planeNormal.dot(p) - face.planeDistance;
    return p - face.planeNormal * (2.0f * s);
}

Vector3 refractThrough(const Face& face, const Vector3& p, float refractiveIndex) {
    const float k = 1.0f - refractiveIndex;
    const float s = face.planeNormal.dot(p) - face.planeDistance;
    return p + face.planeNormal * (k * s);
}

std::string dataPath(const std::string& root, const char* name) {
    std::string base = root;
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    if (base.empty() || base == ".") {
        return std::string("data/") + name;
    }
    if (base == "/") {
        return std::string("/data/") + name;
    }
    return base + "/data/" + name;
}

constexpr int maxProblemsPerFile = 12;

}  // namespace

std::vector<std::string> checkObjectGeometry(const SceneObject& object, const std::string& name) {
    std::vector<std::string> problems;
    if (object.faceCount <= 0 || !object.faces || object.pointCount <= 0 || !object.points) {
        problems.push_back(name + ": object has no faces");
        return problems;
    }
    const double scale = objectScale(object);
    const double tolerance = 1e-4 * scale;
    const Vec center = toVec(object.center);
    std::vector<bool> outward(static_cast<std::size_t>(object.faceCount), false);
    for (int f = 0; f < object.faceCount; ++f) {
        const Face& face = object.faces[f];
        if (!faceUsable(face)) {
            problems.push_back(name + format(": face %d has fewer than 3 vertices", f));
            continue;
        }
        const Vec normal = toVec(face.planeNormal);
        if (length(normal) < 0.5) {
            problems.push_back(name +
                               format(": face %d is degenerate (its first three vertices are "
                                      "collinear)",
                                      f));
            continue;
        }
        const double distance = face.planeDistance;
        bool planar = true;
        for (int k = 0; k < face.vertexCount && planar; ++k) {
            const double offset = dot(normal, toVec(face.vertices[k]->position)) - distance;
            if (std::fabs(offset) > tolerance) {
                problems.push_back(
                    name + format(": face %d is not planar (vertex %d is off its plane)", f, k));
                planar = false;
            }
        }
        if (!faceConvex(face, normal, scale)) {
            problems.push_back(name + format(": face %d is not convex", f));
        }
        if (dot(normal, center) - distance >= -tolerance) {
            problems.push_back(
                name + format(": face %d is wound inward (normal points towards the centre)", f));
        } else {
            outward[static_cast<std::size_t>(f)] = true;
        }
    }
    // Convexity of the solid, against the faces that are wound correctly (an
    // inward face is reported once above, not once per vertex here).
    for (int f = 0; f < object.faceCount; ++f) {
        if (!outward[static_cast<std::size_t>(f)]) {
            continue;
        }
        const Face& face = object.faces[f];
        const Vec normal = toVec(face.planeNormal);
        for (int i = 0; i < object.pointCount; ++i) {
            if (dot(normal, toVec(object.points[i].position)) - face.planeDistance > tolerance) {
                problems.push_back(
                    name +
                    format(": object is not convex: vertex %d lies in front of face %d", i, f));
                break;  // one witness per face is enough
            }
        }
    }
    if (problems.size() > static_cast<std::size_t>(maxProblemsPerFile)) {
        const int more = static_cast<int>(problems.size()) - maxProblemsPerFile;
        problems.resize(static_cast<std::size_t>(maxProblemsPerFile));
        problems.push_back(name + format(": ... and %d more problems", more));
    }
    return problems;
}

std::vector<Vector3> sampleEyes(const SceneObject* const* objects, int count) {
    std::vector<Vector3> eyes;
    // The camera orbit, and heights and radii around it.
    const double pi = 3.14159265358979323846;
    for (int step = 0; step < 360; step += 2) {
        const double angle = step * pi / 180.0;
        eyes.push_back({static_cast<float>(4.0 * std::sin(angle)), 3.0f,
                        static_cast<float>(-4.0 * std::cos(angle))});
    }
    const float heights[] = {-1.0f, 0.5f, 1.5f, 2.5f, 3.5f, 5.0f, 8.0f};
    const float radii[] = {0.5f, 2.5f, 4.0f, 6.0f, 10.0f};
    for (float height : heights) {
        for (float radius : radii) {
            for (int step = 0; step < 360; step += 15) {
                const double angle = step * pi / 180.0;
                eyes.push_back({static_cast<float>(radius * std::sin(angle)), height,
                                static_cast<float>(-radius * std::cos(angle))});
            }
        }
    }
    eyes.push_back({0.0f, 10.0f, 0.0f});
    eyes.push_back({0.0f, -10.0f, 0.0f});

    // Points on and just beside every face plane (an eye in a plane makes
    // that face front-facing).
    std::vector<const Face*> faces;
    for (int o = 0; o < count; ++o) {
        const SceneObject* object = objects[o];
        if (!object || !object->faces) {
            continue;
        }
        for (int f = 0; f < object->faceCount; ++f) {
            const Face& face = object->faces[f];
            if (!faceUsable(face)) {
                continue;
            }
            faces.push_back(&face);
            Vector3 middle;
            for (int k = 0; k < face.vertexCount; ++k) {
                middle = middle + face.vertices[k]->position;
            }
            middle = middle * (1.0f / static_cast<float>(face.vertexCount));
            for (float offset : {-0.01f, 0.0f, 0.01f, 0.5f}) {
                eyes.push_back(middle + face.planeNormal * offset);
            }
        }
    }

    // Child views: eyes moved through one face, then through a second one.
    const float refractiveIndex = 1.33f;
    std::vector<Vector3> firstLevel;
    for (int step = 0; step < 360; step += 30) {
        const double angle = step * pi / 180.0;
        const Vector3 eye(static_cast<float>(4.0 * std::sin(angle)), 3.0f,
                          static_cast<float>(-4.0 * std::cos(angle)));
        for (const Face* face : faces) {
            firstLevel.push_back(reflectThrough(*face, eye));
            firstLevel.push_back(refractThrough(*face, eye, refractiveIndex));
        }
    }
    for (const Vector3& eye : firstLevel) {
        eyes.push_back(eye);
        for (const Face* face : faces) {
            eyes.push_back(reflectThrough(*face, eye));
            eyes.push_back(refractThrough(*face, eye, refractiveIndex));
        }
    }
    return eyes;
}

int outlineBound(const SceneObject& object, const Vector3& eye) {
    if (!object.edges || !object.faces) {
        return 0;
    }
    int backFaces = 0;
    for (int f = 0; f < object.faceCount; ++f) {
        const Face& face = object.faces[f];
        if (!(eye.dot(face.planeNormal) >= face.planeDistance)) {
            ++backFaces;
        }
    }
    int silhouette = 0;
    for (int e = 0; e < object.edgeCount; ++e) {
        const Edge& edge = object.edges[e];
        if (!edge.faceA || !edge.faceB) {
            continue;
        }
        const bool frontA = eye.dot(edge.faceA->planeNormal) >= edge.faceA->planeDistance;
        const bool frontB = eye.dot(edge.faceB->planeNormal) >= edge.faceB->planeDistance;
        if (frontA != frontB) {
            ++silhouette;
        }
    }
    return silhouette + backFaces;
}

int largestOutline(const SceneObject& object, const std::vector<Vector3>& eyes) {
    int largest = 0;
    for (const Vector3& eye : eyes) {
        largest = std::max(largest, outlineBound(object, eye));
    }
    return largest;
}

namespace {

// Whether every point of b lies at least gap beyond the plane n . p = d.
bool allBeyond(const Vec& normal, double distance, const SceneObject& b, double gap) {
    for (int i = 0; i < b.pointCount; ++i) {
        if (dot(normal, toVec(b.points[i].position)) - distance < gap) {
            return false;
        }
    }
    return true;
}

void projectOnto(const Vec& axis, const SceneObject& object, double& low, double& high) {
    low = high = dot(axis, toVec(object.points[0].position));
    for (int i = 1; i < object.pointCount; ++i) {
        const double value = dot(axis, toVec(object.points[i].position));
        low = std::min(low, value);
        high = std::max(high, value);
    }
}

bool faceSeparates(const SceneObject& a, const SceneObject& b, double gap) {
    for (int f = 0; f < a.faceCount; ++f) {
        const Face& face = a.faces[f];
        if (faceUsable(face) && allBeyond(toVec(face.planeNormal), face.planeDistance, b, gap)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool convexObjectsApart(const SceneObject& a, const SceneObject& b, float gap) {
    if (!a.points || !b.points || !a.faces || !b.faces || a.pointCount <= 0 || b.pointCount <= 0) {
        return false;
    }
    if (faceSeparates(a, b, gap) || faceSeparates(b, a, gap)) {
        return true;
    }
    // Edge against edge: the remaining candidate separating planes.
    for (int fa = 0; fa < a.faceCount; ++fa) {
        const Face& faceA = a.faces[fa];
        if (!faceUsable(faceA)) {
            continue;
        }
        for (int ka = 0; ka < faceA.vertexCount; ++ka) {
            const Vec edgeA = sub(toVec(faceA.vertices[(ka + 1) % faceA.vertexCount]->position),
                                  toVec(faceA.vertices[ka]->position));
            for (int fb = 0; fb < b.faceCount; ++fb) {
                const Face& faceB = b.faces[fb];
                if (!faceUsable(faceB)) {
                    continue;
                }
                for (int kb = 0; kb < faceB.vertexCount; ++kb) {
                    const Vec edgeB =
                        sub(toVec(faceB.vertices[(kb + 1) % faceB.vertexCount]->position),
                            toVec(faceB.vertices[kb]->position));
                    Vec axis = cross(edgeA, edgeB);
                    const double size = length(axis);
                    if (size < 1e-12) {
                        continue;
                    }
                    axis = {axis.x / size, axis.y / size, axis.z / size};
                    double lowA, highA, lowB, highB;
                    projectOnto(axis, a, lowA, highA);
                    projectOnto(axis, b, lowB, highB);
                    if (lowB - highA >= gap || lowA - highB >= gap) {
                        return true;
                    }
                }
            }
        }
    }
    return false;
}

DataSetReport checkDataSet(const std::string& root) {
    static const char* const objectNames[4] = {"base2.lwo", "crystal1.lwo", "crystal2.lwo",
                                               "crystal3.lwo"};
    DataSetReport report;
    std::unique_ptr<SceneObject[]> objects(new SceneObject[4]);
    bool usable[4] = {false, false, false, false};
    std::string paths[4];
    for (int i = 0; i < 4; ++i) {
        paths[i] = dataPath(root, objectNames[i]);
        SceneObject& object = objects[i];
        if (!object.loadLwo(paths[i].c_str())) {
            report.problems.push_back(paths[i] +
                                      ": cannot be read as an LWOB object (missing, truncated or "
                                      "malformed)");
            continue;
        }
        object.shade(sceneLightDirection(), sceneAmbientColor(), sceneDiffuseColor());
        const bool closed = object.buildEdges();
        if (!closed) {
            report.problems.push_back(paths[i] +
                                      ": mesh is not closed (edge table could not be built)");
        }
        const std::vector<std::string> faults = checkObjectGeometry(object, paths[i]);
        report.problems.insert(report.problems.end(), faults.begin(), faults.end());
        usable[i] = closed;
    }

    // Outlines, from eyes placed around all the objects that could be read.
    const SceneObject* present[4];
    for (int i = 0; i < 4; ++i) {
        present[i] = usable[i] ? &objects[i] : nullptr;
    }
    const std::vector<Vector3> eyes = sampleEyes(present, 4);
    for (int i = 0; i < 4; ++i) {
        if (!usable[i]) {
            continue;
        }
        const SceneObject& object = objects[i];
        const int largest = largestOutline(object, eyes);
        const int anyView = object.edgeCount + object.faceCount;
        if (largest > outlineCapacity) {
            report.problems.push_back(paths[i] + format(": outline reaches %d edges from some "
                                                        "viewpoints (the renderer holds %d)",
                                                        largest, outlineCapacity));
        }
        char line[256];
        std::snprintf(line, sizeof line,
                      "%s: %d points, %d faces, %d edges, closed; largest outline %d edges over "
                      "%d sampled viewpoints (at most %d from any viewpoint)",
                      paths[i].c_str(), object.pointCount, object.faceCount, object.edgeCount,
                      largest, static_cast<int>(eyes.size()), anyView);
        report.summaries.push_back(line);
    }

    const std::string picturePath = dataPath(root, "env.bmp");
    Image image;
    if (image.load(picturePath.c_str(), readBmp)) {
        char line[256];
        std::snprintf(line, sizeof line, "%s: %u x %u picture, %u bits per pixel",
                      picturePath.c_str(), image.width, image.height, image.bitsPerPixel);
        report.summaries.push_back(line);
    } else {
        report.problems.push_back(picturePath +
                                  ": cannot be read as a BMP picture (uncompressed, 8, 24 or "
                                  "32 bits per pixel)");
    }
    return report;
}
