// Microbenchmarks of the renderer's CPU work: the clipper, the projection of
// one crystal, and one whole traversal with drawing switched off.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/picture.h"
#include "assets/scene_object.h"
#include "render/frame_arena.h"
#include "render/frame_state.h"
#include "render/polygon.h"
#include "render/view.h"
#include "scene/hooks.h"
#include "scene/scene.h"
#include "scene/scene_file.h"

// The encoder makes the benchmark's JPEG; it is not part of the program.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wpedantic"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

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
    return setUpSceneObject(crystal, "data/crystal1.lwo") == ObjectSetup::Ready;
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
    FrameInputs inputs;
    inputs.width = kDefaultWidth;
    inputs.height = kDefaultHeight;
    inputs.depthBudget = static_cast<int>(state.range(0));
    std::int64_t views = 0;
    for (auto _ : state) {
        drawFrame(inputs);
        // Walk the orbit so every view of the scene is in the average.
        inputs.timeMs = (inputs.timeMs + 33) % kOrbitPeriodMs;
        views += frameState.stats.viewsDrawn;
    }
    state.counters["views/frame"] =
        benchmark::Counter(static_cast<double>(views), benchmark::Counter::kAvgIterations);
    Shutdown();
}
BENCHMARK(BM_TraversalFrame)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

// A big-endian LWOB file of the given points and polygons, in the temp folder.
std::string writeMesh(const char* name, const std::vector<Vector3>& points,
                      const std::vector<std::vector<std::uint16_t>>& polygons) {
    std::vector<std::uint8_t> body = {'L', 'W', 'O', 'B'};
    const auto put = [&body](std::uint32_t value, int bytes) {
        while (bytes-- > 0)
            body.push_back(static_cast<std::uint8_t>(value >> (8 * bytes)));
    };
    const auto chunk = [&](const char* id, std::size_t size) {
        body.insert(body.end(), id, id + 4);
        put(static_cast<std::uint32_t>(size), 4);
    };
    chunk("PNTS", 12 * points.size());
    for (const Vector3& p : points) {
        for (float value : {p.x, p.y, p.z}) {
            std::uint32_t bits;
            std::memcpy(&bits, &value, 4);
            put(bits, 4);
        }
    }
    std::size_t polygonBytes = 0;
    for (const auto& polygon : polygons)
        polygonBytes += 2 * polygon.size() + 4;
    chunk("POLS", polygonBytes);
    for (const auto& polygon : polygons) {
        put(static_cast<std::uint32_t>(polygon.size()), 2);
        for (std::uint16_t index : polygon)
            put(index, 2);
        put(1, 2);
    }
    const std::string path = (std::filesystem::temp_directory_path() / name).string();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::uint8_t size[4] = {
        static_cast<std::uint8_t>(body.size() >> 24), static_cast<std::uint8_t>(body.size() >> 16),
        static_cast<std::uint8_t>(body.size() >> 8), static_cast<std::uint8_t>(body.size())};
    const bool ok = file && std::fwrite("FORM", 4, 1, file) == 1 &&
                    std::fwrite(size, 4, 1, file) == 1 &&
                    std::fwrite(body.data(), body.size(), 1, file) == 1;
    if (file)
        std::fclose(file);
    return ok ? path : std::string();
}

// Loading, shading and edge-linking one big mesh as the scene does (its
// convexity test included). Args (s, r) with s > 0: a closed convex sphere of
// triangles, s segments round and r rings down, 2 s (r - 1) faces: 2,048,
// 8,192, 32,768 and 128,000 (near the most 16-bit point indices allow). Arg
// s = 0: a million triangles on a 256 x 256 grid, an open sheet the edge
// linker refuses.
void BM_LoadBigMesh(benchmark::State& state) {
    const int segments = static_cast<int>(state.range(0));
    const int rings = static_cast<int>(state.range(1));
    std::vector<Vector3> points;
    std::vector<std::vector<std::uint16_t>> polygons;
    if (segments > 0) {
        points.push_back({0.0f, 1.0f, 0.0f});
        for (int r = 1; r < rings; ++r) {
            for (int s = 0; s < segments; ++s) {
                const double theta = 3.141592653589793 * r / rings;
                const double phi = 6.283185307179586 * s / segments;
                points.push_back({static_cast<float>(std::sin(theta) * std::cos(phi)),
                                  static_cast<float>(std::cos(theta)),
                                  static_cast<float>(std::sin(theta) * std::sin(phi))});
            }
        }
        points.push_back({0.0f, -1.0f, 0.0f});
        const auto at = [segments](int r, int s) {
            return static_cast<std::uint16_t>(1 + (r - 1) * segments + s % segments);
        };
        const auto last = static_cast<std::uint16_t>(points.size() - 1);
        for (int s = 0; s < segments; ++s) {
            polygons.push_back({0, at(1, s + 1), at(1, s)});
            for (int r = 1; r + 1 < rings; ++r) {
                polygons.push_back({at(r, s), at(r, s + 1), at(r + 1, s + 1)});
                polygons.push_back({at(r, s), at(r + 1, s + 1), at(r + 1, s)});
            }
            polygons.push_back({last, at(rings - 1, s), at(rings - 1, s + 1)});
        }
    } else {
        for (int i = 0; i < 65536; ++i)
            points.push_back({static_cast<float>(i % 256), static_cast<float>(i / 256), 0.0f});
        for (int i = 0; polygons.size() < 1000000; i = (i + 1) % (255 * 256)) {
            const auto a = static_cast<std::uint16_t>(i);
            polygons.push_back(
                {a, static_cast<std::uint16_t>(a + 1), static_cast<std::uint16_t>(a + 256)});
        }
    }
    const std::string path = writeMesh("glasswake-bench-big.lwo", points, polygons);
    bool closed = false;
    bool convex = false;
    for (auto _ : state) {
        SceneObject object;
        const ObjectSetup setup = setUpSceneObject(object, path.c_str());
        if (setup == ObjectSetup::NotLoaded) {
            state.SkipWithError(object.failure.text);
            break;
        }
        closed = setup == ObjectSetup::Ready;
        convex = object.convex;
    }
    state.counters["faces"] = static_cast<double>(polygons.size());
    state.counters["closed"] = closed ? 1.0 : 0.0;
    state.counters["convex"] = convex ? 1.0 : 0.0;
    std::remove(path.c_str());
}
BENCHMARK(BM_LoadBigMesh)
    ->Args({64, 17})
    ->Args({128, 33})
    ->Args({256, 65})
    ->Args({320, 201})
    ->Args({0, 0})
    ->Unit(benchmark::kMillisecond);

// A scene's own mesh: a closed UV sphere of about 100,000 triangles written
// as OBJ text, read, split, linked, wound and found convex as a crystal of a
// scene file is.
void BM_LoadObjMesh(benchmark::State& state) {
    const int segments = 316, rings = 159;
    const std::string path =
        (std::filesystem::temp_directory_path() / "glasswake-bench-gem.obj").string();
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        state.SkipWithError("cannot write the OBJ file");
        return;
    }
    std::fprintf(file, "v 0 1 0\n");
    for (int r = 1; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const double theta = 3.141592653589793 * r / rings;
            const double phi = 6.283185307179586 * s / segments;
            std::fprintf(file, "v %.7f %.7f %.7f\n", std::sin(theta) * std::cos(phi),
                         std::cos(theta), std::sin(theta) * std::sin(phi));
        }
    }
    std::fprintf(file, "v 0 -1 0\n");
    const auto at = [](int r, int s) { return 2 + (r - 1) * segments + s % segments; };
    const int last = 2 + (rings - 1) * segments;
    int triangles = 0;
    for (int s = 0; s < segments; ++s) {
        std::fprintf(file, "f 1 %d %d\n", at(1, s + 1), at(1, s));
        for (int r = 1; r + 1 < rings; ++r) {
            std::fprintf(file, "f %d %d %d\nf %d %d %d\n", at(r, s), at(r, s + 1), at(r + 1, s + 1),
                         at(r, s), at(r + 1, s + 1), at(r + 1, s));
        }
        std::fprintf(file, "f %d %d %d\n", last, at(rings - 1, s), at(rings - 1, s + 1));
        triangles += 2 * (rings - 1);
    }
    std::fclose(file);
    ObjectDescription description;
    description.mesh = path;
    bool convex = false;
    for (auto _ : state) {
        SceneObject object;
        if (setUpDescribedObject(object, description, true) != ObjectSetup::Ready) {
            state.SkipWithError(object.failure.text);
            break;
        }
        convex = object.convex;
    }
    state.counters["triangles"] = triangles;
    state.counters["convex"] = convex ? 1.0 : 0.0;
    std::remove(path.c_str());
}
BENCHMARK(BM_LoadObjMesh)->Unit(benchmark::kMillisecond);

void appendBytes(void* context, void* data, int size) {
    auto& bytes = *static_cast<std::vector<std::uint8_t>*>(context);
    bytes.insert(bytes.end(), static_cast<std::uint8_t*>(data),
                 static_cast<std::uint8_t*>(data) + size);
}

// A 24-megapixel (6000 x 4000) JPEG environment: read, decoded and
// resampled to its texture (4096 x 4096 by the nearer powers of two, held
// to 2048 x 2048).
void BM_ReadBigJpeg(benchmark::State& state) {
    const int width = 6000, height = 4000;
    std::vector<std::uint8_t> rgb(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgb[(std::size_t(y) * width + x) * 3];
            p[0] = std::uint8_t(x * 255 / width);
            p[1] = std::uint8_t(y * 255 / height);
            p[2] = std::uint8_t((x ^ y) & 0xFF);
        }
    }
    std::vector<std::uint8_t> jpeg;
    stbi_write_jpg_to_func(appendBytes, &jpeg, width, height, 3, rgb.data(), 90);
    const std::string path =
        (std::filesystem::temp_directory_path() / "glasswake-bench-sky.jpg").string();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && std::fwrite(jpeg.data(), jpeg.size(), 1, file) == 1;
    if (file)
        std::fclose(file);
    for (auto _ : state) {
        Image picture;
        if (!written || !readPicture(path.c_str(), &picture)) {
            state.SkipWithError(written ? picture.failure.text : "cannot write the JPEG");
            break;
        }
    }
    state.counters["fileMiB"] = double(jpeg.size()) / (1 << 20);
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadBigJpeg)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
