#include "render/traversal.h"

#include <algorithm>
#include <initializer_list>
#include <new>
#include <stdexcept>

#include "assets/scene_object.h"
#include "render/frame_arena.h"
#include "render/frame_state.h"
#include "render/view.h"

std::vector<Edge2> scratchEdges(100);

std::int32_t scratchEdgesNeeded(const SceneObject& object) {
    std::int32_t largestFace = 0;
    for (std::int32_t i = 0; i < object.faceCount; ++i) {
        largestFace = std::max(largestFace, object.faces[i].vertexCount + 1);
    }
    return std::max(object.edgeCount + object.faceCount, largestFace);
}

bool reserveScratchEdges(std::int32_t count) {
    if (count < 0) {
        return false;
    }
    if (static_cast<std::size_t>(count) > scratchEdges.size()) {
        try {
            scratchEdges.resize(static_cast<std::size_t>(count));
        } catch (const std::bad_alloc&) {
            return false;
        } catch (const std::length_error&) {
            return false;
        }
    }
    return true;
}

bool frameOutOfRoom() {
    return frameArena.overflowed || frameState.record.overflowed;
}

std::int32_t View::recordFill() const {
    DrawCommand command;
    command.pass = DrawPass::Fill;
    command.kind = kind;
    command.depth = level;
    command.view = frameState.record.count;
    command.parent = parentCommand;
    command.color = fillColor;
    command.polygonCount = window.count;
    command.polygons = window.head;
    return frameState.record.append(command);
}

std::int32_t View::recordEnvironment() const {
    DrawCommand command;
    command.pass = DrawPass::Environment;
    command.kind = kind;
    command.depth = level;
    command.view = fillCommand;
    command.parent = parentCommand;
    command.color = envColor;
    command.textureOffset = eye.y;
    command.polygonCount = window.count;
    command.polygons = window.head;
    return frameState.record.append(command);
}

void View::draw(const TraversalScene& scene, int depth) {
    fillCommand = recordFill();
    // A view that could not be recorded opens nothing: its children would
    // have no parent entry, and the frame is out of room anyway.
    if (fillCommand < 0) {
        return;
    }
    bool tiled = true;
    if (depth > 0 && opensChildren()) {
        if (objectIndex >= 0 && objectIndex <= TraversalScene::kMaxObjects && scene.visibility) {
            const std::int32_t* row = scene.visibility[objectIndex];
            for (int i = 0; i <= TraversalScene::kMaxObjects && row[i] >= 0 && !isCovered(); ++i) {
                tiled = traverseObject(scene, row[i], depth - 1) && tiled;
            }
        }
    }
    // Fully covered: the objects hide everything, no environment shows.
    if (depth <= 0 || !isCovered()) {
        recordEnvironment();
    }
    // Whatever ran out of room under this view (a child, a face, this
    // environment) leaves part of the window to no pass.
    frameState.record.commands[fillCommand].windowTiled = tiled && !frameOutOfRoom();
}

bool View::opensChildren() const {
    const float limit = frameState.minOpenArea;
    if (limit <= 0.0f || coveredArea(window.head) >= limit) {
        return true;
    }
    ++frameState.record.viewsLeftClosed;
    return false;
}

namespace {

// The section of an object by a view's plane closes its outline; it faces
// the eye when the eye is on the side the plane cuts away.
bool sectionFacesEye(const SceneObject& object, const View& view) {
    if (view.eye.dot(view.planeNormal) >= view.planeDistance) {
        return false;
    }
    for (std::int32_t i = 0; i < object.edgeCount; ++i) {
        if (object.edges[i].crossing) {
            return true;
        }
    }
    return false;
}

// The box of every point of the object as projected, whichever side of the
// view's plane: the outline's edges close round the part the plane keeps,
// whose points and cuts lie on segments between them, so it lies in the box.
// False when a point is not before the eye (its projection is turned over).
bool outlineBounds(const SceneObject& object, const Matrix& matrix, Bounds& bounds) {
    for (std::int32_t i = 0; i < object.pointCount; ++i) {
        const Vector3 view = matrix.transformPoint(object.points[i].position);
        if (!(view.z > 0.0f)) {
            return false;
        }
        bounds.add(Point2{view.x / view.z, view.y / view.z});
    }
    return true;
}

bool outlineMissesWindow(const SceneObject& object, const View& view) {
    Bounds outline;
    if (!outlineBounds(object, view.matrix, outline)) {
        return false;
    }
    Bounds window;
    for (const Polygon* polygon = view.window.head; polygon; polygon = polygon->next) {
        for (std::int32_t i = 0; i < polygon->vertexCount; ++i) {
            window.add(*polygon->vertices[i]);
        }
    }
    return outline.isApartFrom(window);
}

}  // namespace

bool View::traverseObject(const TraversalScene& scene, int index, int depth) {
    // Once the frame has run out of room nothing more is cut or opened;
    // what is already recorded is still drawn.
    if (index < 0 || index >= scene.objectCount || frameOutOfRoom()) {
        return true;
    }
    SceneObject& object = scene.objects[index];
    if (object.faceCount <= 0 || object.edgeCount <= 0 || !object.edges) {
        return true;
    }
    if (!object.markPointsInFront(planeNormal, planeDistance)) {
        return true;
    }
    // Most objects a small window looks out at miss it: nothing to cut out.
    if (frameState.skipApart && outlineMissesWindow(object, *this)) {
        return true;
    }
    if (!object.markFrontFaces(eye)) {
        return true;
    }
    if (scratchEdgesNeeded(object) > static_cast<std::int64_t>(scratchEdges.size())) {
        frameState.record.objectSkipped = true;
        return true;
    }

    PolygonList facePolygons;
    const int outlineCount =
        object.projectFaces(matrix, planeNormal, planeDistance, facePolygons, scratchEdges.data());
    if (outlineCount == 0 || facePolygons.count <= 0) {
        return true;
    }
    // Faces of an object that is not convex can lie two over one spot or
    // leave part of its outline to none; no face covers a section.
    const bool facesTile = object.convex && !sectionFacesEye(object, *this);

    // Whatever the outline covers is hidden from the objects visited later.
    PolygonList covered;
    PolygonList uncovered;
    // A clip that gives up (out of room) leaves the window as it was.
    window.clip(scratchEdges.data(), outlineCount, covered, uncovered);
    window.count = uncovered.count;
    window.head = uncovered.head;
    if (covered.count <= 0) {
        return true;
    }

    drawFaceViews(scene, index, facePolygons, covered, depth);
    return facesTile;
}

void View::drawFaceViews(const TraversalScene& scene, int index, const PolygonList& facePolygons,
                         const PolygonList& covered, int depth) const {
    const SceneObject& object = scene.objects[index];
    View child;
    PolygonList faceInside;
    for (const Polygon* polygon = facePolygons.head; polygon; polygon = polygon->next) {
        if (frameOutOfRoom()) {
            break;
        }
        const std::int32_t edgeCount = polygon->listEdges(scratchEdges.data());
        // What lies outside the face is another face's: not made here.
        if (frameState.skipApart) {
            // Nor are the pieces apart from the face cut.
            PolygonList near;
            near.shareNear(covered, boundsOf(*polygon));
            near.clipInside(scratchEdges.data(), edgeCount, faceInside);
        } else {
            covered.clipInside(scratchEdges.data(), edgeCount, faceInside);
        }
        if (faceInside.count <= 0) {
            continue;
        }
        // Both children look through the same region; neither writes into it.
        // The mirrored one is drawn with its whole subtree first.
        for (const bool mirrored : {true, false}) {
            openChild(child, object, index, *polygon->face, faceInside, mirrored);
            child.draw(scene, depth);
        }
    }
}

void View::openChild(View& child, const SceneObject& object, int index, const Face& face,
                     const PolygonList& childWindow, bool mirrored) const {
    child.reset();
    child.eye = eye;
    child.objectIndex = index;
    child.level = static_cast<std::int16_t>(level + 1);
    child.kind = mirrored ? ViewKind::Mirrored : ViewKind::Refracted;
    child.parentCommand = fillCommand;
    child.fillColor = mirrored ? Color(0.0f, 0.0f, 0.0f, 0.0f) : face.color * envColor;
    child.envColor = (mirrored ? object.reflectColor : object.refractColor) * envColor;
    child.matrix = matrix;
    child.window.count = childWindow.count;
    child.window.head = childWindow.head;
    if (mirrored) {
        child.mirrorThrough(face);
    } else {
        child.refractThrough(face, object.refractiveIndex);
    }
    // Visible from the child: on or behind the face as the parent sees it.
    child.planeNormal = -child.planeNormal;
    child.planeDistance = -child.planeDistance;
}
