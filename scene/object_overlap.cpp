// Whether the objects of a described scene share space. Without a depth
// buffer, two convex objects are drawn right only when they do not.

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "scene/scene.h"
#include "scene/scene_file.h"

namespace {

bool boxesApart(const ObjectBox& a, const ObjectBox& b) {
    return a.high.x <= b.low.x || b.high.x <= a.low.x || a.high.y <= b.low.y ||
           b.high.y <= a.low.y || a.high.z <= b.low.z || b.high.z <= a.low.z;
}

// Some face plane of a has every point of b on or in front of it: the
// usual case, and the one that lets objects rest on each other's faces.
bool separatedByFace(const SceneObject& a, const SceneObject& b) {
    for (std::int32_t f = 0; f < a.faceCount; ++f) {
        const Face& face = a.faces[f];
        bool apart = true;
        for (std::int32_t p = 0; p < b.pointCount && apart; ++p) {
            apart = face.planeNormal.dot(b.points[p].position) - face.planeDistance >= -1e-6f;
        }
        if (apart) {
            return true;
        }
    }
    return false;
}

// The search below works in doubles.
struct Vec {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};
Vec operator+(Vec a, Vec b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec operator*(Vec a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
double dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec cross(Vec a, Vec b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec vec(const Vector3& v) {
    return {v.x, v.y, v.z};
}

// The point of the object farthest along direction.
Vec farthest(const SceneObject& object, Vec direction) {
    Vec best = vec(object.points[0].position);
    double most = dot(best, direction);
    for (std::int32_t p = 1; p < object.pointCount; ++p) {
        const Vec point = vec(object.points[p].position);
        const double along = dot(point, direction);
        if (along > most) {
            most = along;
            best = point;
        }
    }
    return best;
}

// Up to four points of the difference a - b, and the point of their hull
// nearest the origin.
struct Simplex {
    Vec points[4];
    int count = 0;
    Vec nearest;

    // Always true, for the callers' returns.
    bool keep(std::initializer_list<Vec> kept, Vec point) {
        count = 0;
        for (const Vec& p : kept) {
            points[count++] = p;
        }
        nearest = point;
        return true;
    }
};

// The triangle abc's point nearest the origin, and the corners it needs, by
// the triangle's Voronoi regions. False when the triangle has no area.
bool nearestOnTriangle(Vec a, Vec b, Vec c, Simplex& out) {
    const Vec ab = b - a;
    const Vec ac = c - a;
    const double d1 = -dot(ab, a), d2 = -dot(ac, a);
    if (d1 <= 0.0 && d2 <= 0.0) {
        return out.keep({a}, a);
    }
    const double d3 = -dot(ab, b), d4 = -dot(ac, b);
    if (d3 >= 0.0 && d4 <= d3) {
        return out.keep({b}, b);
    }
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0) {
        return out.keep({a, b}, a + ab * (d1 / (d1 - d3)));
    }
    const double d5 = -dot(ab, c), d6 = -dot(ac, c);
    if (d6 >= 0.0 && d5 <= d6) {
        return out.keep({c}, c);
    }
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0) {
        return out.keep({a, c}, a + ac * (d2 / (d2 - d6)));
    }
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0.0 && d4 - d3 >= 0.0 && d5 - d6 >= 0.0) {
        return out.keep({b, c}, b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6))));
    }
    const double area = va + vb + vc;
    if (!(area > 0.0)) {
        return false;
    }
    return out.keep({a, b, c}, a + ab * (vb / area) + ac * (vc / area));
}

// Reduces the simplex to the corners its point nearest the origin needs.
// False when it is flat or holds the origin: the search then stops.
bool reduce(Simplex& simplex) {
    const Vec* p = simplex.points;
    if (simplex.count == 1) {
        simplex.nearest = p[0];
        return true;
    }
    if (simplex.count == 2) {
        const Vec a = p[0];
        const Vec b = p[1];
        const Vec ab = b - a;
        if (!(dot(ab, ab) > 0.0)) {
            return false;
        }
        const double t = -dot(a, ab) / dot(ab, ab);
        return t <= 0.0   ? simplex.keep({a}, a)
               : t >= 1.0 ? simplex.keep({b}, b)
                          : simplex.keep({a, b}, a + ab * t);
    }
    if (simplex.count == 3) {
        Simplex face;
        if (!nearestOnTriangle(p[0], p[1], p[2], face)) {
            return false;
        }
        simplex = face;
        return true;
    }
    // A tetrahedron: the nearest point lies on a face the origin is beyond.
    static const int faces[4][4] = {{0, 1, 2, 3}, {0, 2, 3, 1}, {0, 3, 1, 2}, {1, 3, 2, 0}};
    Simplex best;
    bool beyondSome = false;
    for (const auto& f : faces) {
        const Vec normal = cross(p[f[1]] - p[f[0]], p[f[2]] - p[f[0]]);
        const double origin = -dot(normal, p[f[0]]);
        const double other = dot(normal, p[f[3]] - p[f[0]]);
        if (other == 0.0) {
            return false;  // flat
        }
        if (origin * other >= 0.0) {
            continue;  // the origin is on the inner side
        }
        Simplex face;
        if (!nearestOnTriangle(p[f[0]], p[f[1]], p[f[2]], face)) {
            return false;
        }
        if (!beyondSome || dot(face.nearest, face.nearest) < dot(best.nearest, best.nearest)) {
            best = face;
        }
        beyondSome = true;
    }
    if (!beyondSome) {
        return false;  // the origin is inside: the objects overlap
    }
    simplex = best;
    return true;
}

// Looks for an axis along which the two convex objects are apart by more
// than margin, walking the difference of their points towards the origin
// (the Gilbert-Johnson-Keerthi search). Every axis it accepts is checked
// against every point, so it can miss an axis but never accept a wrong one.
bool separatedAlongSomeAxis(const SceneObject& a, const SceneObject& b, double margin) {
    if (a.pointCount <= 0 || b.pointCount <= 0) {
        return false;
    }
    Simplex simplex;
    simplex.keep({}, vec(a.points[0].position) - vec(b.points[0].position));
    for (int step = 0; step < 64; ++step) {
        const Vec v = simplex.nearest;
        const double length = std::sqrt(dot(v, v));
        if (!(length > 0.0)) {
            return false;
        }
        // Every point of the difference lies at least this far along v.
        const Vec w = farthest(a, v * -1.0) - farthest(b, v);
        if (dot(v, w) > margin * length) {
            return true;
        }
        if (dot(v, v) - dot(v, w) <= 1e-12 * dot(v, v)) {
            return false;
        }
        simplex.points[simplex.count++] = w;
        if (!reduce(simplex)) {
            return false;
        }
    }
    return false;
}

// How far apart two objects must be along an axis found by the search:
// more than rounding, relative to their size.
double apartMargin(const ObjectBox& a, const ObjectBox& b) {
    double extent = 1.0;
    for (const Vector3& corner : {a.low, a.high, b.low, b.high}) {
        extent = std::max({extent, double(std::fabs(corner.x)), double(std::fabs(corner.y)),
                           double(std::fabs(corner.z))});
    }
    return 1e-6 * extent;
}

}  // namespace

bool objectsApart(const SceneObject* objects, int count, ReadFailure& failure) {
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            const SceneObject& a = objects[i];
            const SceneObject& b = objects[j];
            const ObjectBox boxA = boxOf(a);
            const ObjectBox boxB = boxOf(b);
            if (boxesApart(boxA, boxB)) {
                continue;
            }
            // Two convex objects share no space exactly when some axis parts
            // them: a face normal of either, or the cross of an edge of each.
            // The search finds one in time linear in the points; objects that
            // rest on each other's faces are parted by a face plane alone.
            if (!a.convex || !b.convex || separatedAlongSomeAxis(a, b, apartMargin(boxA, boxB)) ||
                separatedByFace(a, b) || separatedByFace(b, a)) {
                continue;
            }
            failure.set("%s and %s overlap after their scale and offset", kSceneObjectNames[i],
                        kSceneObjectNames[j]);
            return false;
        }
    }
    return true;
}
