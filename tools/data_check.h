#pragma once

#include <string>
#include <vector>

struct SceneObject;

// Validation of the demo's data set: what the renderer assumes of its meshes
// (closed, convex planar faces, convex solids with outward normals) and that
// the picture is readable. Every check runs in time linear in the mesh size.

// Geometry faults of a loaded object, each "name: what is wrong". Faces are
// checked for degeneracy, planarity, convexity and outward winding (the
// centre strictly behind the plane). When the edge table is built, the solid
// is checked too: every edge convex (the far face's vertices on or behind the
// near face's plane) and the surface wrapped exactly once around the centre;
// such a surface bounds a convex solid. Tolerances scale with the object's size.
std::vector<std::string> checkObjectGeometry(const SceneObject& object, const std::string& name);

struct DataSetReport {
    std::vector<std::string> summaries;  // one line per file
    std::vector<std::string> problems;   // "path: what is wrong"
    bool ok() const { return problems.empty(); }
};

// Checks the scene's four objects and its picture under root/data. File names
// in messages are "data/..." when root is ".", else root + "/data/...".
DataSetReport checkDataSet(const std::string& root);
