#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "assets/image.h"
#include "assets/scene_object.h"
#include "math/vector3.h"
#include "render/frame_arena.h"
#include "render/render_backend.h"
#include "render/traversal.h"
#include "scene/scene_constants.h"

// The demo's objects: 0 the base, 1 to 3 the crystals. These indices are the
// ones the visibility table and every View's objectIndex use.
extern SceneObject sceneObjects[4];

// Row r lists, in visiting order, the objects seen through a View whose
// objectIndex is r; a negative entry ends the row. Row 4 is the root's
// order, rewritten every frame.
extern std::int32_t visibilityTable[5][5];
// Row 4 of the visibility table: the root's visiting order, nearest first,
// then -1.
extern std::int32_t (&drawOrder)[5];
// The objects and rows as the traversal sees them.
extern const TraversalScene sceneTraversal;

// What draws the frames. Set by the program before Init; none draws nothing
// (the front end alone). Init creates it, Shutdown destroys it.
extern RenderBackend* sceneBackend;

// True once PreInit has loaded every object and created the frame arena;
// frames draw nothing until then and after Shutdown.
extern bool sceneReady;

// How far setUpSceneObject got: the file not loaded, loaded but its edges
// not linked (not a closed mesh) or, for a crystal of a described scene, not
// convex, or ready to draw.
enum class ObjectSetup { NotLoaded, NotClosed, NotConvex, Ready };
// Loads an object file, shades it with the scene's light and links its
// edges, as start-up does for every object; short of Ready, object.failure
// says why.
ObjectSetup setUpSceneObject(SceneObject& object, const char* path);

struct SceneDescription;
// A scene file's description, when the program was given one (set before
// PreInit); null: the shipped scene, read from the data folder as ever.
extern const SceneDescription* customScene;
// The file object i is read from, in the scene in use.
const char* sceneObjectFile(int index);
// A described object: its mesh (LWOB or OBJ) read, placed, coloured and
// shaded, its edges linked; a crystal (mustBeConvex) must be convex.
struct ObjectDescription;
ObjectSetup setUpDescribedObject(SceneObject& object, const ObjectDescription& description,
                                 bool mustBeConvex);
// False (failure set, naming both) when two of the objects, after their
// scale and offset, share space: two convex objects overlap unless some
// axis parts them (a face normal of either, or the cross of an edge of
// each). Objects may rest face on face; two that only touch edge to edge or
// corner to corner may be refused. An object that is not convex (the base
// may not be) is not checked.
bool objectsApart(const SceneObject* objects, int count, ReadFailure& failure);

// The smallest axis-aligned box holding every point of an object (low above
// high on every axis when it has none).
struct ObjectBox {
    Vector3 low{INFINITY, INFINITY, INFINITY};
    Vector3 high{-INFINITY, -INFINITY, -INFINITY};
};
ObjectBox boxOf(const SceneObject& object);

// Between frames, after Init: draws the described scene from now on (null:
// the shipped one), its objects set up, its picture read and its frame
// memory sized as PreInit does, then sceneBackend made again with the
// picture. scene stays the caller's and must outlive its use. False, with
// GetFailureReason saying why, leaves the scene drawn as it was unless only
// the backend failed.
bool changeScene(const SceneDescription* scene);

// What Init does: creates sceneBackend with the environment picture. A shell
// whose context was lost and given back calls it again (after destroying
// the backend) to draw on.
bool createSceneBackend();

// The per-frame memory sizes.
constexpr std::int32_t kFramePolygonCapacity = 100000;
constexpr std::int32_t kFramePointCapacity = 100000;
constexpr std::int32_t kFrameSlotCapacity = 100000;
// Two commands a view; depth 2 needs under 300.
constexpr std::int32_t kFrameCommandCapacity = 65536;

// The frame memory a scene is drawn in, chosen at start-up from a sweep of
// sample orbit frames (see sizeFrameBudget).
struct FrameBudget {
    std::int32_t polygons = kFramePolygonCapacity;
    std::int32_t points = kFramePointCapacity;
    std::int32_t slots = kFrameSlotCapacity;
    // Views whose window covers less than this many pixels open no children;
    // 0 opens every view the depth reaches.
    float minOpenPixels = 0.0f;
    double sweepMs = 0.0;  // how long the sweep took
};
extern FrameBudget sceneBudget;

// The open limit of a scene that does not fit the standard sizes: about a
// pixel, below which a view's children could not show.
constexpr float kMinOpenPixels = 1.0f;
// Sample frames are sized with this much room to spare (free cameras and
// moments between the samples need more), within the ceiling on the frame's
// memory (frameMemoryBytes: the standard sizes take about 62 MiB).
constexpr double kBudgetHeadroom = 1.5;
constexpr std::int64_t kFrameMemoryCeiling = std::int64_t(256) << 20;
constexpr std::int32_t kBudgetSweepFrames = 32;
constexpr std::int32_t kBudgetSweepWidth = kDefaultWidth;  // the demo's size
constexpr std::int32_t kBudgetSweepHeight = kDefaultHeight;

// What a sweep of the orbit found: the views of each frame and the most of
// each pool any frame used, or that some frame ran out of room.
struct BudgetSweep {
    std::int32_t frames = 0;
    std::int64_t medianViews = 0;
    std::int64_t maxViews = 0;
    std::int32_t peakPolygons = 0;
    std::int32_t peakPoints = 0;
    std::int32_t peakSlots = 0;
    std::int64_t overflowFrames = 0;
    std::int64_t trimmedFrames = 0;
};
// Draws frames orbit frames (evenly over one turn, at the sweep's size and
// the given depth) with no backend, as the frames are drawn or, when
// untrimmed, as recorded before any trimming; the scene must be started. Not
// inside a frame.
BudgetSweep sweepOrbit(std::int32_t frames, int depth, bool trimmed);
// Sizes sceneBudget, the frame arena and the frame state for the loaded
// objects: the standard sizes, with every view opened, when a sweep fits them
// with the headroom (the shipped scene does); else views under
// kMinOpenPixels are left closed and each pool is sized from the sweep with
// the headroom. False with the reason when the sweep does not fit the
// ceiling or the memory cannot be had.
bool sizeFrameBudget(char* reason, std::size_t reasonSize);

// The camera circles the vertical axis at radius 4 and height 3, one turn
// every 8 seconds, looking at (0, 2, 0): it starts at kOrbitStart and turns
// kOrbitRadiansPerSecond (pi/4 in single precision).
constexpr float kOrbitRadiansPerSecond = 0.7853982f;
constexpr std::uint32_t kOrbitPeriodMs = 8000;
inline const Vector3 kOrbitStart(0.0f, 3.0f, -4.0f);
inline const Vector3 kOrbitTarget(0.0f, 2.0f, 0.0f);
Vector3 orbitEye(double seconds);

// A camera looking at kOrbitTarget from yawDegrees about the vertical axis
// (0 where the orbit starts, growing the way it turns), pitchDegrees above
// the target's horizontal plane and distance scene units away.
struct Camera {
    double yawDegrees = 0.0;
    double pitchDegrees = 0.0;
    double distance = 0.0;
};
// Limits that keep the whole scene in view and the eye outside every object.
constexpr double kMinCameraPitch = -10.0;
constexpr double kMaxCameraPitch = 80.0;
constexpr double kMinCameraDistance = 3.0;
constexpr double kMaxCameraDistance = 12.0;

// The orbit as a camera: the yaw it has turned, the pitch and distance of
// kOrbitStart about kOrbitTarget (14.04 degrees, sqrt(17)). Its eye is
// orbitEye's within rounding.
Camera orbitCamera(double seconds);
Vector3 cameraEye(const Camera& camera);
// Yaw wrapped into [0, 360), pitch and distance held to the limits; a value
// that is not a number takes the orbit's start.
Camera limitCamera(const Camera& camera);
// "YAW,PITCH,DISTANCE" in decimal degrees and scene units, pitch and distance
// within the limits; false (camera untouched) for anything else.
bool parseCamera(const char* text, Camera& camera);
// The limits as the usage texts and refusals state them: pitch, the pitch
// limits, distance, the distance limits; ("pitch ", " and distance ") gives
// "pitch -10 to 80 and distance 3 to 12".
std::string cameraLimitsText(const char* pitch, const char* distance);
// The camera as parseCamera reads it, as the page's cam= and the tool's
// --camera take it and the viewers show it: "YAW,PITCH,DISTANCE", two
// decimals each. Returns what snprintf returns.
int formatCamera(const Camera& camera, char* out, std::size_t size);

// Everything one frame is drawn from.
struct FrameInputs {
    std::uint32_t timeMs = 0;
    std::int32_t width = 0;  // drawable size in pixels
    std::int32_t height = 0;
    int depthBudget = kDemoDepthBudget;  // held to 0..kMaxFrameDepthBudget
    std::optional<Camera> camera;        // none: the orbit at timeMs
    RenderBackend* backend = nullptr;    // none: sceneBackend
};
// Draws the frame, in these steps: record the views (View::draw from the
// root), mend the record, plan the passes, count, draw. A drawable without
// area, or a scene not started, draws nothing.
void drawFrame(const FrameInputs& inputs);

// Rewrites drawOrder[0..3] with the objects by increasing depth; equal depths
// (or NaN) keep index order.
void orderByDepth(const float objectDepth[4]);
