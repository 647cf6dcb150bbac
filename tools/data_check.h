#pragma once

#include <string>
#include <vector>

#include "math/vector3.h"

struct SceneObject;

// Validation of the demo's data set: what the renderer assumes of its meshes
// (closed, convex planar faces, convex solids with outward normals, outlines
// that fit the renderer's 100-entry table) and that the picture is readable.

// Largest outline the renderer's table holds.
constexpr int outlineCapacity = 100;

// Geometry faults of a loaded object, each "name: what is wrong". Faces are
// checked for degeneracy, planarity, convexity and outward winding (the
// centre strictly behind the plane); the solid for convexity (every vertex on
// or behind every outward face plane). Tolerances scale with the object's size.
std::vector<std::string> checkObjectGeometry(const SceneObject& object, const std::string& name);

// Eye positions worth testing outlines from: the camera orbit, other heights
// and radii around it, points on and beside every face plane, and the eyes of
// mirrored and refracted views through the faces (one and two faces deep).
std::vector<Vector3> sampleEyes(const SceneObject* const* objects, int count);

// Outline size of an edge-linked object seen from eye, as an upper bound:
// every silhouette edge plus every back face (a view plane cuts a back face at
// most once, adding one edge). Uses the renderer's front-facing rule.
int outlineBound(const SceneObject& object, const Vector3& eye);

// The largest outlineBound over the eyes.
int largestOutline(const SceneObject& object, const std::vector<Vector3>& eyes);

// Whether two convex objects are apart: some face plane of one, or some plane
// through an edge pair, has all of the other's vertices at least gap beyond it.
bool convexObjectsApart(const SceneObject& a, const SceneObject& b, float gap);

struct DataSetReport {
    std::vector<std::string> summaries;  // one line per file
    std::vector<std::string> problems;   // "path: what is wrong"
    bool ok() const { return problems.empty(); }
};

// Checks root/data/{base2,crystal1,crystal2,crystal3}.lwo and root/data/env.bmp.
// File names in messages are "data/..." when root is ".", else root + "/data/...".
DataSetReport checkDataSet(const std::string& root);
