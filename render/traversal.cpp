#include "render/traversal.h"

#include <algorithm>
#include <initializer_list>

#include "assets/scene_object.h"
#include "render/frame_arena.h"
#include "render/render_stats.h"
#include "render/view.h"
#include "scene/scene.h"

std::int32_t visibilityTable[5][5] = {
    {1, 2, 3, -1, -1},  // through a face of the base
    {2, 3, 0, -1, -1},  // through crystal 1
    {1, 3, 0, -1, -1},  // through crystal 2
    {1, 2, 0, -1, -1},  // through crystal 3
    {2, 1, 3, 0, -1},   // the root: nearest first, rewritten every frame
};

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
        scratchEdges.resize(static_cast<std::size_t>(count));
    }
    return true;
}

void View::draw(int depth) {
    ++renderStats.viewsDrawn;
    drawFill();
    if (depth > 0) {
        if (objectIndex >= 0 && objectIndex <= 4) {
            const std::int32_t* row = visibilityTable[objectIndex];
            for (int i = 0; i < 5 && row[i] >= 0 && !isCovered(); ++i) {
                traverseObject(row[i], depth - 1);
            }
        }
        // Fully covered: the objects hide everything, no environment shows.
        if (isCovered()) {
            return;
        }
    }
    drawEnvironment();
}

void View::traverseObject(int index, int depth) {
    // Once the frame has run out of arena room nothing more is cut or
    // opened; what is already there is still drawn.
    if (index < 0 || index > 3 || frameArena.overflowed) {
        return;
    }
    SceneObject& object = sceneObjects[index];
    if (object.faceCount <= 0 || object.edgeCount <= 0 || !object.edges) {
        return;
    }
    if (!object.markPointsInFront(planeNormal, planeDistance)) {
        return;
    }
    if (!object.markFrontFaces(eye)) {
        return;
    }
    if (scratchEdgesNeeded(object) > static_cast<std::int64_t>(scratchEdges.size())) {
        renderStats.frameOverflowed = true;
        return;
    }

    PolygonList facePolygons;
    const int outlineCount =
        object.projectFaces(matrix, planeNormal, planeDistance, facePolygons, scratchEdges.data());
    if (outlineCount == 0 || facePolygons.count <= 0) {
        return;
    }

    // Whatever the outline covers is hidden from the objects visited later.
    PolygonList covered;
    PolygonList uncovered;
    window.clip(scratchEdges.data(), outlineCount, covered, uncovered);
    window.count = uncovered.count;
    window.head = uncovered.head;
    if (covered.count <= 0) {
        return;
    }

    View child;
    PolygonList faceInside;
    PolygonList faceOutside;
    for (const Polygon* polygon = facePolygons.head; polygon; polygon = polygon->next) {
        if (frameArena.overflowed) {
            break;
        }
        const std::int32_t edgeCount = polygon->listEdges(scratchEdges.data());
        covered.clip(scratchEdges.data(), edgeCount, faceInside, faceOutside);
        if (faceInside.count <= 0) {
            continue;
        }
        const Face& face = *polygon->face;

        // Both children look through the same region; neither writes into it.
        // The mirrored one is drawn with its whole subtree first.
        for (const bool mirrored : {true, false}) {
            child.reset();
            child.eye = eye;
            child.objectIndex = index;
            child.fillColor = mirrored ? Color(0.0f, 0.0f, 0.0f, 0.0f) : face.color * envColor;
            child.envColor = (mirrored ? object.reflectColor : object.refractColor) * envColor;
            child.matrix = matrix;
            child.window.count = faceInside.count;
            child.window.head = faceInside.head;
            if (mirrored) {
                child.mirrorThrough(face);
            } else {
                child.refractThrough(face, object.refractiveIndex);
            }
            // Visible from the child: on or behind the face as the parent sees it.
            child.planeNormal = -child.planeNormal;
            child.planeDistance = -child.planeDistance;
            child.draw(depth);
        }
    }
}
