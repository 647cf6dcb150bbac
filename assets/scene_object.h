#pragma once

#include <cstdint>
#include <vector>

#include "assets/file_stream.h"
#include "math/color.h"
#include "math/matrix.h"
#include "math/vector3.h"

struct Point2;
struct PolygonList;
struct Edge2;
struct Edge;

struct Vertex {
    Vector3 position;
    // 0 or 1 after markPointsInFront, then a Point2* after projectFaces.
    std::uintptr_t projected = 0;
};

struct Face {
    // The face's plane; a View looking through the face copies its three fields.
    Vector3 planeNormal{1.0f, 0.0f, 0.0f};
    float planeDistance = 0.0f;
    Vector3 planePoint;
    std::int32_t vertexCount = 0;
    Vertex** vertices = nullptr;
    Edge** edges = nullptr;  // edges[k] joins vertices[k] and vertices[(k + 1) % vertexCount]
    Color color{1.0f, 1.0f, 1.0f, 1.0f};
    std::int32_t frontFacing = 0;

    Face() = default;
    ~Face() { reset(); }
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    // Back to the default state, freeing the two pointer arrays.
    void reset();
};

struct Edge {
    Vertex* vertexA = nullptr;  // walked A -> B by faceA
    Vertex* vertexB = nullptr;
    Face* faceA = nullptr;
    Face* faceB = nullptr;
    Point2* crossing = nullptr;
    std::int32_t silhouette = 0;
    std::int32_t line = -1;  // the frame's line it projects onto, -1 none
};

// The optical constants an object starts with and gets back on every load.
inline constexpr Color kObjectBaseColor{1.0f, 1.0f, 1.0f, 0.5f};
inline constexpr Color kObjectReflectColor{1.0f, 1.0f, 1.0f, 0.5f};
inline constexpr Color kObjectRefractColor{1.0f, 1.0f, 1.0f, 0.35f};
inline constexpr float kObjectRefractiveIndex = 1.33f;

// One mesh with its optical constants. Faces and edges point into the
// object's own arrays, so an object is never copied or moved.
struct SceneObject {
    std::int32_t pointCount = 0;
    Vertex* points = nullptr;
    std::int32_t faceCount = 0;
    Face* faces = nullptr;
    std::int32_t edgeCount = 0;
    Edge* edges = nullptr;
    Vector3 center;
    Color baseColor = kObjectBaseColor;
    Color reflectColor = kObjectReflectColor;
    Color refractColor = kObjectRefractColor;
    float refractiveIndex = kObjectRefractiveIndex;
    // Every point lies on or behind every face's plane (and every face on its
    // own): seen from anywhere, the front faces cover the outline once.
    bool convex = false;
    // Why the last load, buildEdges or orientFaces returned false.
    ReadFailure failure;
    // What a successful load mended, for the user to know ("turned round: ..."),
    // empty when nothing was.
    ReadFailure notice;
    // For a mesh read from text, the line each face came from (split faces
    // share their line); empty for an LWOB object.
    std::vector<std::int32_t> faceLines;

    SceneObject() = default;
    ~SceneObject() { clear(); }
    SceneObject(const SceneObject&) = delete;
    SceneObject& operator=(const SceneObject&) = delete;

    void clear();
    // Trades meshes and constants with other: what each face and edge points
    // at lives in the arrays, which change hands whole, so both stay intact.
    void swap(SceneObject& other);
    bool loadLwo(const char* path);
    // Wavefront OBJ (assets/obj_reader.cpp); the object comes back with its
    // edges linked, wound outward and its convexity decided.
    bool loadObj(const char* path);
    // An LWOB object or an OBJ mesh, told apart by the file's first bytes;
    // either comes back with its edges linked and wound outward (an LWOB
    // object wound inward is turned round, and notice says so).
    bool loadMesh(const char* path);
    // Every point scaled about the origin by scale (> 0), then moved by
    // offset; planes and centre follow.
    void transform(float scale, Vector3 offset);
    // Face planes from each face's first three vertices, and the centre.
    void updatePlanes();
    // With the edges linked: false (failure says which faces) unless every
    // edge is walked once each way; a mesh wound inward throughout is turned
    // round, its edges linked again, and notice says so.
    bool orientFaces();
    // "face 12" or, for a mesh read from text, "face 12 (line 40)".
    void describeFace(std::int32_t face, char* text, std::size_t size) const;
    void shade(const Vector3& lightDirection, const Color& ambient, const Color& diffuse);
    // Links every distinct edge to its two faces, in the order the faces first
    // meet it; false unless every edge joins exactly two face sides.
    bool buildEdges();

    // Projection and culling against one View. Defined with the renderer
    // (render/projection.cpp), the one exception to "declared where defined":
    // they take their points and polygons from its frame arena.
    bool markPointsInFront(Vector3 planeNormal, float planeDistance);
    bool markFrontFaces(Vector3 eye);
    int projectFaces(const Matrix& matrix, Vector3 planeNormal, float planeDistance,
                     PolygonList& facePolygons, Edge2* outline);
};
