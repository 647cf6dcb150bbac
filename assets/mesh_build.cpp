// Meshes from people's files: faces split where they must be, winding and
// convexity decided from the linked edges (each in time linear in the mesh).

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "assets/convexity.h"
#include "assets/file_stream.h"
#include "assets/mesh_faces.h"
#include "assets/scene_object.h"

namespace {

constexpr float kPi = 3.14159265358979f;

// The tolerance for "on a plane", relative to the mesh's extent.
float planeTolerance(const std::vector<Vector3>& points) {
    float extent = 0.0f;
    for (const Vector3& v : points) {
        extent = std::max({extent, std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
    }
    return 1e-5f * (extent + 1.0f);
}

// A face's corners in the plane across its largest normal component, turned
// so that the face runs counter-clockwise there.
struct FlatFace {
    std::vector<float> u;
    std::vector<float> v;

    FlatFace(const std::vector<Vector3>& points, const std::int32_t* corners, int n,
             const Vector3& normal) {
        const float ax = std::fabs(normal.x), ay = std::fabs(normal.y), az = std::fabs(normal.z);
        const int drop = ax >= ay && ax >= az ? 0 : (ay >= az ? 1 : 2);
        const float sign = (drop == 0 ? normal.x : drop == 1 ? normal.y : normal.z) < 0 ? -1 : 1;
        for (int k = 0; k < n; ++k) {
            const Vector3& p = points[std::size_t(corners[k])];
            u.push_back(drop == 0 ? p.y : (drop == 1 ? p.z : p.x));
            v.push_back(sign * (drop == 0 ? p.z : (drop == 1 ? p.x : p.y)));
        }
    }
    float turn(int a, int b, int c) const {
        return (u[b] - u[a]) * (v[c] - v[a]) - (v[b] - v[a]) * (u[c] - u[a]);
    }
    bool inside(int a, int b, int c, int p) const {
        return turn(a, b, p) >= 0 && turn(b, c, p) >= 0 && turn(c, a, p) >= 0;
    }
};

// Every corner turns left and the turns add up to one full turn.
bool isConvexPolygon(const FlatFace& flat, int n) {
    float turning = 0.0f;
    for (int k = 0; k < n; ++k) {
        const int a = (k + n - 1) % n, c = (k + 1) % n;
        if (!(flat.turn(a, k, c) > 0.0f)) {
            return false;
        }
        const float inAngle = std::atan2(flat.v[k] - flat.v[a], flat.u[k] - flat.u[a]);
        const float outAngle = std::atan2(flat.v[c] - flat.v[k], flat.u[c] - flat.u[k]);
        float bend = outAngle - inAngle;
        bend += bend <= -kPi ? 2 * kPi : (bend > kPi ? -2 * kPi : 0.0f);
        turning += bend;
    }
    return turning < 3 * kPi;
}

// Ear clipping: false when the polygon has no ear left (it crosses itself).
bool splitIntoTriangles(const FlatFace& flat, const std::int32_t* corners, int n,
                        std::vector<std::int32_t>& out) {
    std::vector<int> left(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        left[std::size_t(k)] = k;
    }
    while (left.size() > 3) {
        const int m = int(left.size());
        bool clipped = false;
        for (int k = 0; k < m && !clipped; ++k) {
            const int a = left[std::size_t((k + m - 1) % m)], b = left[std::size_t(k)],
                      c = left[std::size_t((k + 1) % m)];
            if (!(flat.turn(a, b, c) > 0.0f)) {
                continue;
            }
            bool empty = true;
            for (int p : left) {
                empty = empty && (p == a || p == b || p == c || !flat.inside(a, b, c, p));
            }
            if (empty) {
                out.insert(out.end(), {corners[a], corners[b], corners[c]});
                left.erase(left.begin() + k);
                clipped = true;
            }
        }
        if (!clipped) {
            return false;
        }
    }
    if (!(flat.turn(left[0], left[1], left[2]) > 0.0f)) {
        return false;
    }
    out.insert(out.end(), {corners[left[0]], corners[left[1]], corners[left[2]]});
    return true;
}

Vector3 newellNormal(const std::vector<Vector3>& points, const std::int32_t* corners, int n) {
    Vector3 normal;
    for (int k = 0; k < n; ++k) {
        const Vector3& a = points[std::size_t(corners[k])];
        const Vector3& b = points[std::size_t(corners[(k + 1) % n])];
        normal = normal + Vector3((a.y - b.y) * (a.z + b.z), (a.z - b.z) * (a.x + b.x),
                                  (a.x - b.x) * (a.y + b.y));
    }
    return normal;
}

// Faces as the object will hold them: flat convex faces kept whole, others
// split into triangles.
bool shapeFaces(const std::vector<Vector3>& points, const MeshFaces& in, float tolerance,
                MeshFaces& out, ReadFailure& failure) {
    for (std::size_t f = 0; f + 1 < in.starts.size(); ++f) {
        const std::int32_t* corners = &in.corners[std::size_t(in.starts[f])];
        const int n = in.starts[f + 1] - in.starts[f];
        Vector3 normal = newellNormal(points, corners, n);
        const float area = normal.length();
        normal.normalize();
        if (!(area > tolerance * tolerance)) {
            failure.set("line %d: the face has no area", in.lines[f]);
            return false;
        }
        const Vector3& p0 = points[std::size_t(corners[0])];
        bool flat = true;
        for (int k = 1; k < n && flat; ++k) {
            flat = std::fabs(normal.dot(points[std::size_t(corners[k])] - p0)) <= tolerance;
        }
        const FlatFace projected(points, corners, n, normal);
        if (n == 3 || (flat && isConvexPolygon(projected, n))) {
            out.starts.push_back(std::int32_t(out.corners.size()));
            out.corners.insert(out.corners.end(), corners, corners + n);
            out.lines.push_back(in.lines[f]);
            continue;
        }
        const std::size_t before = out.corners.size();
        if (n > kMaxSplitFaceVertices || !splitIntoTriangles(projected, corners, n, out.corners)) {
            failure.set(n > kMaxSplitFaceVertices
                            ? "line %d: a face that is not flat and convex is too large to split"
                            : "line %d: the face crosses itself and cannot be split",
                        in.lines[f]);
            return false;
        }
        for (std::size_t t = before; t < out.corners.size(); t += 3) {
            out.starts.push_back(std::int32_t(t));
            out.lines.push_back(in.lines[f]);
        }
    }
    out.starts.push_back(std::int32_t(out.corners.size()));
    return true;
}

// The object's arrays from the shaped faces.
bool fillObject(SceneObject& object, const std::vector<Vector3>& points, const MeshFaces& shaped) {
    const std::size_t faceCount = shaped.lines.size();
    object.points = new (std::nothrow) Vertex[points.size()]();
    object.faces = object.points ? new (std::nothrow) Face[faceCount] : nullptr;
    if (!object.faces) {
        object.failure.set("no memory for %llu points and %llu faces",
                           static_cast<unsigned long long>(points.size()),
                           static_cast<unsigned long long>(faceCount));
        return false;
    }
    object.pointCount = std::int32_t(points.size());
    object.faceCount = std::int32_t(faceCount);
    for (std::size_t p = 0; p < points.size(); ++p) {
        object.points[p].position = points[p];
    }
    for (std::size_t f = 0; f < faceCount; ++f) {
        const int n = shaped.starts[f + 1] - shaped.starts[f];
        Face& face = object.faces[f];
        face.vertices = new (std::nothrow) Vertex*[std::size_t(n)]();
        face.edges = new (std::nothrow) Edge*[std::size_t(n)]();
        if (!face.vertices || !face.edges) {
            object.failure.set("no memory for face %llu", static_cast<unsigned long long>(f));
            return false;
        }
        face.vertexCount = n;
        for (int k = 0; k < n; ++k) {
            face.vertices[k] = &object.points[shaped.corners[std::size_t(shaped.starts[f] + k)]];
        }
    }
    object.faceLines = shaped.lines;
    return true;
}

// A closed mesh, wound outward, is convex when every face is flat, every
// edge bends outward (the faces beside it lie behind each other's plane),
// no corner gathers more than a full turn of face angles, and it is one
// sphere (V - E + F = 2): then the surface bounds one convex solid.
bool convexByEdges(const SceneObject& object, float tolerance) {
    auto behind = [&](const Face& plane, const Face* other) {
        for (std::int32_t k = 0; k < other->vertexCount; ++k) {
            const float d =
                plane.planeNormal.dot(other->vertices[k]->position) - plane.planeDistance;
            if (!(d <= tolerance) || (other == &plane && !(d >= -tolerance))) {
                return false;
            }
        }
        return true;
    };
    std::vector<float> angles(std::size_t(object.pointCount), 0.0f);
    for (std::int32_t f = 0; f < object.faceCount; ++f) {
        const Face& face = object.faces[f];
        if (face.planeNormal.lengthSquared() < 0.5f || !behind(face, &face)) {
            return false;
        }
        for (std::int32_t k = 0; k < face.vertexCount; ++k) {
            const Vector3& p = face.vertices[k]->position;
            Vector3 a = face.vertices[(k + face.vertexCount - 1) % face.vertexCount]->position - p;
            Vector3 b = face.vertices[(k + 1) % face.vertexCount]->position - p;
            a.normalize();
            b.normalize();
            angles[std::size_t(face.vertices[k] - object.points)] +=
                std::acos(std::clamp(a.dot(b), -1.0f, 1.0f));
        }
    }
    for (float angle : angles) {
        if (angle > 2 * kPi + 1e-3f) {
            return false;
        }
    }
    for (std::int32_t e = 0; e < object.edgeCount; ++e) {
        const Edge& edge = object.edges[e];
        if (!behind(*edge.faceA, edge.faceB) || !behind(*edge.faceB, edge.faceA)) {
            return false;
        }
    }
    std::int64_t used = 0;
    for (float angle : angles) {
        used += angle > 0.0f ? 1 : 0;
    }
    return used - object.edgeCount + object.faceCount == 2;
}

}  // namespace

bool buildMesh(SceneObject& object, const std::vector<Vector3>& points, const MeshFaces& faces) {
    const float tolerance = planeTolerance(points);
    MeshFaces shaped;
    if (!shapeFaces(points, faces, tolerance, shaped, object.failure) ||
        shaped.lines.size() > std::size_t(kMaxMeshFaces) || !fillObject(object, points, shaped)) {
        return false;
    }
    object.updatePlanes();
    if (!object.buildEdges() || !object.orientFaces()) {
        return false;
    }
    object.convex = convexByEdges(object, tolerance);
    return true;
}

bool SceneObject::loadMesh(const char* path) {
    FileStream stream;
    char start[4] = {};
    failure.clear();
    if (!stream.open(path, "rb", &failure)) {
        return false;
    }
    const bool lightwave = stream.read(start, 4) && std::memcmp(start, "FORM", 4) == 0;
    stream.close();
    if (!lightwave) {
        return loadObj(path);
    }
    // Held to an OBJ mesh's rules: closed, wound consistently, and turned
    // round when wound inward (its convexity decided again, the right way out).
    if (!loadLwo(path) || !buildEdges() || !orientFaces()) {
        return false;
    }
    if (notice.text[0]) {
        convex = meshIsConvex(*this);
    }
    return true;
}

void SceneObject::transform(float scale, Vector3 offset) {
    for (std::int32_t p = 0; p < pointCount; ++p) {
        points[p].position = points[p].position * scale + offset;
    }
    updatePlanes();
}

void SceneObject::describeFace(std::int32_t face, char* text, std::size_t size) const {
    if (face >= 0 && std::size_t(face) < faceLines.size()) {
        std::snprintf(text, size, "face %d (line %d)", face, faceLines[std::size_t(face)]);
    } else {
        std::snprintf(text, size, "face %d", face);
    }
}

namespace {

// +1 when face walks the edge from vertexA to vertexB, -1 the other way.
int walkDirection(const Face& face, const Edge* edge) {
    for (std::int32_t k = 0; k < face.vertexCount; ++k) {
        if (face.edges[k] == edge) {
            return face.vertices[k] == edge->vertexA ? 1 : -1;
        }
    }
    return 0;
}

}  // namespace

bool SceneObject::orientFaces() {
    for (std::int32_t e = 0; e < edgeCount; ++e) {
        const Edge& edge = edges[e];
        if (walkDirection(*edge.faceA, &edge) == walkDirection(*edge.faceB, &edge)) {
            char a[48], b[48];
            describeFace(std::int32_t(edge.faceA - faces), a, sizeof a);
            describeFace(std::int32_t(edge.faceB - faces), b, sizeof b);
            failure.set("the faces are not wound consistently (%s against %s)", a, b);
            return false;
        }
    }
    // Six times the signed volume: positive when the faces turn outward.
    double volume = 0.0;
    for (std::int32_t f = 0; f < faceCount; ++f) {
        const Face& face = faces[f];
        const Vector3& p0 = face.vertices[0]->position;
        for (std::int32_t k = 1; k + 1 < face.vertexCount; ++k) {
            volume +=
                double(p0.dot(face.vertices[k]->position.cross(face.vertices[k + 1]->position)));
        }
    }
    if (volume >= 0.0) {
        return true;
    }
    for (std::int32_t f = 0; f < faceCount; ++f) {
        std::reverse(faces[f].vertices, faces[f].vertices + faces[f].vertexCount);
    }
    updatePlanes();
    notice.set("turned round: its faces were wound inward");
    return buildEdges();
}
