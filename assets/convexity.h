#pragma once

struct SceneObject;

// Whether a loaded object (its face planes computed) is convex: every face
// has a plane, and every point lies on or behind every face's plane, within
// a tolerance relative to the object's size.
//
// Asked point against plane for every pair, that is quadratic. Where the
// faces join all the points into one connected surface, each face is asked
// only along a climb: from each of its vertices to ever higher neighbours
// (higher: further in front of its plane). On a convex surface no climb
// leaves the face's corners, and a climb stops at a point in front when there
// is one, at a concave edge first of all. Other meshes (points on no face,
// several separate surfaces, coordinates that are not finite numbers) are
// asked every pair.
bool meshIsConvex(const SceneObject& object);
