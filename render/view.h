#pragma once

#include <cstdint>

#include "math/color.h"
#include "math/matrix.h"
#include "math/vector3.h"
#include "render/frame_record.h"
#include "render/polygon.h"

struct Face;
struct SceneObject;
struct TraversalScene;

// One way of looking at the scene: an eye, a world-to-view matrix, a plane
// that bounds what can be seen, and the 2D window it is seen through.
struct View {
    Vector3 eye;
    // The plane a child takes over from the face it looks through, field by
    // field (the same three as at the start of a Face).
    Vector3 planeNormal{1.0f, 0.0f, 0.0f};
    float planeDistance = 0.0f;
    Vector3 planePoint;
    Matrix matrix;
    Color fillColor{0.0f, 0.0f, 0.0f, 0.0f};
    Color envColor{1.0f, 1.0f, 1.0f, 1.0f};
    PolygonList window;
    std::int32_t objectIndex = 4;  // the object looked through; 4 for the root
    // Its place in the frame record: faces looked through to get here, how
    // the last one was passed, and the parent view's record entry.
    std::int16_t level = 0;
    ViewKind kind = ViewKind::Root;
    std::int32_t parentCommand = -1;
    std::int32_t fillCommand = -1;  // its own Fill entry, once recorded

    View() = default;
    // The root View; takes its window (one polygon, four slots, four points)
    // from the frame arena, which must have been reset this frame. If the
    // arena cannot hold it the window stays empty.
    View(const Vector3& eyePosition, const Vector3& target, float zoom, float halfWidth,
         float nearDistance);
    ~View() {
        reset();
        window.clear();
    }
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // Everything back to the default state except the plane block.
    void reset();

    void mirrorThrough(const Face& face);
    void refractThrough(const Face& face, float refractiveIndex);

    // Records this view and everything seen through it into frameState.record,
    // spending at most depth levels of faces.
    void draw(const TraversalScene& scene, int depth);
    // Cuts the object's outline out of the window and opens a child per
    // face; false when the faces' windows may not cover the cut-out part
    // exactly once.
    bool traverseObject(const TraversalScene& scene, int index, int depth);
    // Opens the mirrored and refracted view through the part of every face
    // that the object's outline covered.
    void drawFaceViews(const TraversalScene& scene, int index, const PolygonList& facePolygons,
                       const PolygonList& covered, int depth) const;
    // Sets child up to look through face of object (scene index index) at
    // childWindow, mirrored or refracted.
    void openChild(View& child, const SceneObject& object, int index, const Face& face,
                   const PolygonList& childWindow, bool mirrored) const;
    bool isCovered() const { return window.count <= 0; }
    // False (and counted) when the window covers less than the frame's open
    // limit: the view is drawn with its fill and environment alone.
    bool opensChildren() const;

    // Append this view's two passes to frameState.record; the index of the
    // command, or -1 when the record is full.
    std::int32_t recordFill() const;
    std::int32_t recordEnvironment() const;
};
