#include "render/view.h"

#include <cmath>

#include "assets/scene_object.h"
#include "render/frame_arena.h"

View::View(const Vector3& eyePosition, const Vector3& target, float zoom, float halfWidth,
           float nearDistance) {
    eye = eyePosition;
    Vector3 forward = target - eye;
    const float length = std::sqrt(forward.dot(forward));
    if (length > 0.0f) {
        forward = forward * (1.0f / length);
    }
    Matrix basis;
    basis.setLookAlong(forward);

    Matrix scale;
    scale.xAxis = Vector3(zoom, 0.0f, 0.0f);
    scale.yAxis = Vector3(0.0f, zoom, 0.0f);
    Matrix toEye;
    toEye.setTranslation(-eye);
    matrix = scale * basis.transposedBasis();
    matrix *= toEye;

    // Clockwise, like every polygon the clipper is given.
    Polygon* polygon = nullptr;
    if (frameArena.hasRoom(1, 4, 4)) {
        polygon = frameArena.newPolygon();
        polygon->next = nullptr;
        polygon->allocateVertices(4);
        polygon->vertices[0] = frameArena.newPoint(-halfWidth, 1.0f);
        polygon->vertices[1] = frameArena.newPoint(halfWidth, 1.0f);
        polygon->vertices[2] = frameArena.newPoint(halfWidth, -1.0f);
        polygon->vertices[3] = frameArena.newPoint(-halfWidth, -1.0f);
        std::int32_t* lines = frameArena.linesOf(polygon->vertices);
        for (int i = 0; i < 4; ++i) {
            lines[i] =
                frameArena.lines.newLine(polygon->vertices[i], polygon->vertices[(i + 1) % 4]);
        }
        window.head = polygon;
        window.count = 1;
    }

    planePoint = eye + forward * nearDistance;
    planeNormal = forward;
    planeDistance = planeNormal.dot(planePoint);
    fillColor = Color(1.0f, 1.0f, 1.0f, 0.1f);
    envColor = Color(1.0f, 1.0f, 1.0f, 0.9f);
    objectIndex = 4;
}

void View::reset() {
    eye = Vector3();
    matrix = Matrix();
    fillColor = Color(0.0f, 0.0f, 0.0f, 0.0f);
    envColor = Color(1.0f, 1.0f, 1.0f, 1.0f);
    window.clear();
    objectIndex = 4;
    level = 0;
    kind = ViewKind::Root;
    parentCommand = -1;
    fillCommand = -1;
}

namespace {

void takePlane(View& view, const Face& face) {
    view.planeNormal = face.planeNormal;
    view.planeDistance = face.planeDistance;
    view.planePoint = face.planePoint;
}

}  // namespace

// The parent's camera looks at a mirrored copy of the world: the copy is
// made first, then the old view matrix applies.
void View::mirrorThrough(const Face& face) {
    Matrix mirror;
    mirror.makeReflection(face.planeNormal, face.planeDistance);
    eye = mirror.transformPoint(eye);
    takePlane(*this, face);
    matrix = matrix * mirror;
}

void View::refractThrough(const Face& face, float refractiveIndex) {
    Matrix refraction;
    refraction.makeRefraction(face.planeNormal, face.planeDistance, refractiveIndex);
    eye = refraction.transformPoint(eye);
    takePlane(*this, face);
    matrix = matrix * refraction;
}
