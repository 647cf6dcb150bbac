// Microbenchmarks of the renderer's CPU work: the clipper, the projection of
// one crystal, and one whole traversal with drawing switched off.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "app/hooks.h"
#include "assets/scene_object.h"
#include "render/frame_arena.h"
#include "render/polygon.h"
#include "render/render_stats.h"
#include "render/view.h"
#include "scene/scene.h"
#include "scene/scene_constants.h"

#ifdef GLASSWAKE_HAVE_POLYCLIPPING
#include <polyclipping/clipper.hpp>
#endif

namespace {

constexpr float kPi = 3.14159265f;

// A regular n-gon around (cx, cy), clockwise (interior on the right).
Polygon* clockwisePolygon(int n, float cx, float cy, float radius) {
    Polygon* polygon = frameArena.newPolygon();
    polygon->next = nullptr;
    polygon->allocateVertices(n);
    for (int i = 0; i < n; ++i) {
        const float angle = -2.0f * kPi * static_cast<float>(i) / static_cast<float>(n);
        polygon->vertices[i] =
            frameArena.newPoint(cx + radius * std::cos(angle), cy + radius * std::sin(angle));
    }
    return polygon;
}

// The root window (the 4:3 rectangle) cut by a decagon outline, the clip
// every visited object makes; state.range(0) is the number of window pieces
// (a window already cut up by earlier objects costs more).
void BM_ClipWindowByOutline(benchmark::State& state) {
    frameArena.create(4096, 4096, 16384);
    const int pieces = static_cast<int>(state.range(0));
    std::vector<Edge2> outline(16);
    for (auto _ : state) {
        frameArena.reset();
        PolygonList window;
        Polygon* tail = nullptr;
        for (int p = 0; p < pieces; ++p) {
            // Side-by-side vertical strips of the window.
            const float left =
                -1.3333f + 2.6667f * static_cast<float>(p) / static_cast<float>(pieces);
            const float right =
                -1.3333f + 2.6667f * static_cast<float>(p + 1) / static_cast<float>(pieces);
            Polygon* strip = frameArena.newPolygon();
            strip->next = nullptr;
            strip->allocateVertices(4);
            strip->vertices[0] = frameArena.newPoint(left, 1.0f);
            strip->vertices[1] = frameArena.newPoint(right, 1.0f);
            strip->vertices[2] = frameArena.newPoint(right, -1.0f);
            strip->vertices[3] = frameArena.newPoint(left, -1.0f);
            if (tail) {
                tail->next = strip;
            } else {
                window.head = strip;
            }
            tail = strip;
            ++window.count;
        }
        const Polygon* decagon = clockwisePolygon(10, 0.1f, -0.05f, 0.6f);
        const std::int32_t edgeCount = decagon->listEdges(outline.data());
        PolygonList inside;
        PolygonList outside;
        window.clip(outline.data(), edgeCount, inside, outside);
        benchmark::DoNotOptimize(inside.count + outside.count);
    }
    frameArena.release();
}
BENCHMARK(BM_ClipWindowByOutline)->Arg(1)->Arg(4)->Arg(16);

#ifdef GLASSWAKE_HAVE_POLYCLIPPING
// The same cut made by a general polygon clipper (integer coordinates, any
// polygon shape): the part of the window inside the decagon and the part
// outside it. Shows what the convex-only clipper saves.
void BM_GeneralClipperSameCut(benchmark::State& state) {
    constexpr double scale = 1.0e6;
    const int pieces = static_cast<int>(state.range(0));
    ClipperLib::Paths window;
    for (int p = 0; p < pieces; ++p) {
        const double left = -1.3333 + 2.6667 * p / pieces;
        const double right = -1.3333 + 2.6667 * (p + 1) / pieces;
        window.push_back(
            {{static_cast<ClipperLib::cInt>(left * scale), static_cast<ClipperLib::cInt>(scale)},
             {static_cast<ClipperLib::cInt>(right * scale), static_cast<ClipperLib::cInt>(scale)},
             {static_cast<ClipperLib::cInt>(right * scale), static_cast<ClipperLib::cInt>(-scale)},
             {static_cast<ClipperLib::cInt>(left * scale), static_cast<ClipperLib::cInt>(-scale)}});
    }
    ClipperLib::Path decagon;
    for (int i = 0; i < 10; ++i) {
        const double angle = -2.0 * 3.14159265358979 * i / 10.0;
        decagon.push_back({static_cast<ClipperLib::cInt>((0.1 + 0.6 * std::cos(angle)) * scale),
                           static_cast<ClipperLib::cInt>((-0.05 + 0.6 * std::sin(angle)) * scale)});
    }
    ClipperLib::Paths inside;
    ClipperLib::Paths outside;
    for (auto _ : state) {
        ClipperLib::Clipper clipper;
        clipper.AddPaths(window, ClipperLib::ptSubject, true);
        clipper.AddPath(decagon, ClipperLib::ptClip, true);
        clipper.Execute(ClipperLib::ctIntersection, inside);
        clipper.Execute(ClipperLib::ctDifference, outside);
        benchmark::DoNotOptimize(inside.size() + outside.size());
    }
}
BENCHMARK(BM_GeneralClipperSameCut)->Arg(1)->Arg(4)->Arg(16);
#endif

bool loadCrystal(SceneObject& crystal) {
    std::filesystem::current_path(GLASSWAKE_SOURCE_DIR);
    if (!crystal.loadLwo("data/crystal1.lwo"))
        return false;
    crystal.shade(sceneLightDirection(), sceneAmbientColor(), sceneDiffuseColor());
    return crystal.buildEdges();
}

// Culling and projection of one crystal into face polygons and an outline,
// as seen by the root View a quarter of the way round the orbit.
void BM_ProjectCrystal(benchmark::State& state) {
    SceneObject crystal;
    if (!loadCrystal(crystal)) {
        state.SkipWithError("data/crystal1.lwo could not be loaded");
        return;
    }
    frameArena.create(4096, 4096, 16384);
    std::vector<Edge2> outline(static_cast<std::size_t>(crystal.edgeCount + crystal.faceCount + 8));
    const Vector3 eye = orbitEye(2.0);
    for (auto _ : state) {
        frameArena.reset();
        View root(eye, kOrbitTarget, 1.0f, 4.0f / 3.0f, 1.0f);
        int outlineCount = 0;
        PolygonList faces;
        if (crystal.markPointsInFront(root.planeNormal, root.planeDistance) &&
            crystal.markFrontFaces(root.eye)) {
            outlineCount = crystal.projectFaces(root.matrix, root.planeNormal, root.planeDistance,
                                                faces, outline.data());
        }
        benchmark::DoNotOptimize(outlineCount + faces.count);
    }
    frameArena.release();
}
BENCHMARK(BM_ProjectCrystal);

// One whole frame of the demo recorded but not drawn (the scene's default
// backend draws nothing): culling, projection, clipping and recursion
// through every view.
void BM_TraversalFrame(benchmark::State& state) {
    std::filesystem::current_path(GLASSWAKE_SOURCE_DIR);
    if (!PreInit()) {
        state.SkipWithError("the scene could not be loaded from data/");
        return;
    }
    frameDepthBudget = static_cast<int>(state.range(0));
    clientSize.width = 640;
    clientSize.height = 480;
    std::uint32_t timeMs = 0;
    std::int64_t views = 0;
    for (auto _ : state) {
        // Walk the orbit so every view of the scene is in the average.
        frameTimeMs = timeMs;
        timeMs = (timeMs + 33) % 8000;
        Frame();
        views += renderStats.viewsDrawn;
    }
    state.counters["views/frame"] =
        benchmark::Counter(static_cast<double>(views), benchmark::Counter::kAvgIterations);
    frameDepthBudget = 2;
    Shutdown();
}
BENCHMARK(BM_TraversalFrame)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
