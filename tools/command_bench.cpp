// glasswake-tool bench: how fast the demo's frames are drawn headless, and
// what one frame costs in views, polygons, arena use and heap allocations.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "render/frame_state.h"
#include "render/pass_plan.h"
#include "render/render_backend.h"
#include "scene/scene.h"
#include "tools/allocation_counter.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/render_session.h"
#include "tools/scene_option.h"

namespace {

constexpr std::uint64_t kDefaultFrames = 240;

const std::string benchAbout =
    "Times N frames spread over one " + std::to_string(kOrbitPeriodMs / 1000) +
    "-second camera orbit on the headless context, each finished on the GL side, then the same "
    "frames with drawing switched off (the renderer's own CPU work), and counts views, triangle "
    "fans, vertices, frame-arena use and heap allocations per frame.";
const std::string benchExamples = "glasswake-tool bench\n" + std::to_string(kDefaultFrames) +
                                  " frames at " + frameSizeText(kDefaultWidth, kDefaultHeight) +
                                  ", as a table\n"
                                  "glasswake-tool bench --depth=3 --json\n"
                                  "the same, looking through 3 faces in a row, as one JSON object";
const CommandHelp benchHelp = {
    "bench", "[OPTION]...", benchAbout.c_str(), benchExamples.c_str(),
    "0 when the frames were measured, 1 when the data or the drawing failed, 2 for a bad "
    "command line."};

constexpr int warmUpFrames = 16;

struct BenchOptions {
    std::uint64_t frames = kDefaultFrames;
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    std::string root;   // empty: the first folder holding the data set
    std::string scene;  // a scene file instead of the data set
    int depth = kDemoDepthBudget;
    BackendChoice backend = BackendChoice::Auto;
    int samples = 0;  // 0: the demo's
    bool json = false;
};

int parseOptions(int argc, char** argv, BenchOptions& options) {
    using Kind = CommandOption::Kind;
    std::uint64_t depth = kDemoDepthBudget;
    FrameSize size;
    const std::string framesHelp =
        "measure N frames, 1 to 100000 (default " + std::to_string(kDefaultFrames) + ")";
    const std::string sizeText = sizeHelp(), sizeLacks = sizeNeeds(), depthLacks = depthNeeds();
    const std::string depthText = depthHelp() + "; for measuring only";
    std::string backend, samples;
    // The work grows with the visible faces raised to the depth.
    CommandOption table[] = {
        {"--frames", 0, Kind::Count, &options.frames, "N", framesHelp.c_str(),
         "a frame count from 1 to 100000", 1, 100000},
        {"--size", 0, Kind::Size, &size, "WxH", sizeText.c_str(), sizeLacks.c_str()},
        {"--root", 0, Kind::Text, &options.root, "DIR",
         "read the data files from DIR/data (default: ./data, else the installed data)",
         "a directory"},
        {"--scene", 0, Kind::Text, &options.scene, "FILE",
         "measure the scene a scene file describes (see glasswake-tool check) instead of the data "
         "set; --root is then not used",
         "a scene file"},
        {"--depth", 0, Kind::Count, &depth, "D", depthText.c_str(), depthLacks.c_str(), 0,
         kMaxToolDepth},
        {"--backend", 0, Kind::Text, &backend, "exact|fast",
         "measure the exact OpenGL 1.1 backend or the fast OpenGL 2.0 one (default: fast where "
         "the context has shaders)",
         "exact or fast"},
        {"--samples", 0, Kind::Text, &samples, "1|2|4|8",
         "samples per pixel, resolved every frame as a window's swap would (default: 4 where "
         "the context offers them, else 1, as the demo; the exact backend draws 1)",
         "1, 2, 4 or 8"},
        {"--json", 0, Kind::Flag, &options.json, nullptr,
         "print one JSON object, naming the backend measured", nullptr},
    };
    const int parsed = parseCommandLine(benchHelp, argc, argv, table);
    if (parsed == 0 && given(table, "--backend") && !parseBackend(backend, options.backend)) {
        return usageError("bench", "--backend needs exact or fast", backend.c_str());
    }
    if (parsed == 0 && given(table, "--samples") && !parseSamples(samples, options.samples)) {
        return usageError("bench", "--samples needs 1, 2, 4 or 8", samples.c_str());
    }
    if (parsed == 0 && options.samples > 1 && options.backend == BackendChoice::Exact) {
        return usageError("bench", "--backend exact draws one sample per pixel, not",
                          samples.c_str());
    }
    options.width = size.width;
    options.height = size.height;
    options.depth = static_cast<int>(depth);
    return parsed;
}

struct Spread {
    double median = 0.0;
    double p99 = 0.0;
    double max = 0.0;
};

// Nearest-rank percentiles of the samples.
Spread spreadOf(std::vector<double> samples) {
    Spread spread;
    if (samples.empty())
        return spread;
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    spread.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
    const std::size_t rank = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(n)));
    spread.p99 = samples[rank > 0 ? rank - 1 : 0];
    spread.max = samples.back();
    return spread;
}

struct BenchResult {
    std::vector<double> frameMs;
    std::vector<double> traversalMs;
    std::vector<double> views;
    std::vector<double> fans;
    std::vector<double> vertices;
    // Pixel writes per pixel of the root window, every command a pass of its
    // own (the exact backend) and merged (the fast one).
    std::vector<double> writesAsRecorded;
    std::vector<double> writesMerged;
    double totalFrameSeconds = 0.0;
    double cpuMsPerFrame = 0.0;  // all threads of the process, GL workers included
    std::int32_t peakPolygons = 0;
    std::int32_t peakPoints = 0;
    std::int32_t peakSlots = 0;
    std::int64_t overflowFrames = 0;
    std::int64_t trimmedFrames = 0;
    std::int64_t unmendedFrames = 0;
    std::uint64_t maxAllocations = 0;
};

// CPU time of every thread of the process: unlike wall time it hardly
// changes when other programs compete for the cores.
double processCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1.0e6;
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    return elapsed.count();
}

// The pixel writes of the frame in the record, planned for a backend of
// this mode. The plan is the bench's own: the frame's is the backend's.
PassPlan writesPlan;
double pixelWrites(PassMode mode) {
    if (writesPlan.capacity < frameState.record.capacity) {
        writesPlan.create(frameState.record.capacity);
    }
    planPasses(frameState.record, mode, writesPlan);
    return pixelWritesPerPixel(frameState.record, writesPlan);
}

// Warms up, then times the orbit's n frames one by one into ms, keeping the
// most heap allocations of any frame; returns the CPU time of the timed
// frames. Drawn frames are finished on the GL side and only operator new is
// counted: the driver's own C allocations inside GL calls are not the
// frame's. Frames without drawing run the scene alone and count C
// allocations too.
double timeOrbit(RenderSession& session, std::uint64_t n, bool drawn, std::vector<double>& ms,
                 BenchResult& result) {
    for (int k = 0; k < warmUpFrames; ++k) {
        session.renderFrame(orbitTime(static_cast<std::uint64_t>(k), warmUpFrames));
    }
    resetRenderStats();
    const double cpuStart = processCpuMs();
    for (std::uint64_t k = 0; k < n; ++k) {
        const std::uint32_t timeMs = orbitTime(k, n);
        allocation_counter::begin(!drawn);
        const auto start = std::chrono::steady_clock::now();
        if (drawn) {
            session.renderFrame(timeMs);
        } else {
            session.runFrame(timeMs);
        }
        ms.push_back(millisecondsSince(start));
        result.maxAllocations = std::max(result.maxAllocations, allocation_counter::end());
        if (drawn) {
            result.totalFrameSeconds += ms.back() / 1000.0;
            result.views.push_back(static_cast<double>(frameState.stats.viewsDrawn));
            result.fans.push_back(static_cast<double>(frameState.stats.triangleFans));
            result.vertices.push_back(static_cast<double>(frameState.stats.verticesSent));
        } else {
            // Outside the timed call: the record still holds the frame.
            result.writesAsRecorded.push_back(pixelWrites(PassMode::AsRecorded));
            result.writesMerged.push_back(pixelWrites(PassMode::Merged));
        }
    }
    return processCpuMs() - cpuStart;
}

void measure(RenderSession& session, const BenchOptions& options, BenchResult& result) {
    // Whole frames: traversal plus drawing.
    const double cpuMs = timeOrbit(session, options.frames, true, result.frameMs, result);
    result.cpuMsPerFrame = cpuMs / static_cast<double>(options.frames);
    result.peakPolygons = frameState.stats.peakPolygonsUsed;
    result.peakPoints = frameState.stats.peakPointsUsed;
    result.peakSlots = frameState.stats.peakSlotsUsed;
    result.overflowFrames = frameState.stats.overflowFrames;
    result.trimmedFrames = frameState.stats.trimmedFrames;
    result.unmendedFrames = frameState.stats.unmendedFrames;

    // The same frames with drawing off: culling, projection, clipping and
    // recursion alone.
    NoneBackend none;
    session.drawing = &none;
    timeOrbit(session, options.frames, false, result.traversalMs, result);
    session.drawing = nullptr;
}

void printJsonSpread(const char* name, const Spread& spread, bool withP99, bool last) {
    if (withP99) {
        std::printf("  \"%s\": {\"median\": %.4f, \"p99\": %.4f, \"max\": %.4f}%s\n", name,
                    spread.median, spread.p99, spread.max, last ? "" : ",");
    } else {
        std::printf("  \"%s\": {\"median\": %.1f, \"max\": %.0f}%s\n", name, spread.median,
                    spread.max, last ? "" : ",");
    }
}

void printJson(const BenchOptions& options, const BenchResult& result, const char* backend,
               int samples) {
    const double fps = result.totalFrameSeconds > 0.0
                           ? static_cast<double>(options.frames) / result.totalFrameSeconds
                           : 0.0;
    std::printf("{\n");
    std::printf("  \"backend\": \"%s\",\n", backend);
    std::printf("  \"samples\": %d,\n", samples);
    std::printf("  \"frames\": %llu,\n", static_cast<unsigned long long>(options.frames));
    std::printf("  \"width\": %d,\n  \"height\": %d,\n  \"depth\": %d,\n", options.width,
                options.height, options.depth);
    std::printf("  \"fps\": %.1f,\n", fps);
    std::printf("  \"frameCpuMs\": %.4f,\n", result.cpuMsPerFrame);
    printJsonSpread("frameMs", spreadOf(result.frameMs), true, false);
    printJsonSpread("traversalMs", spreadOf(result.traversalMs), true, false);
    printJsonSpread("views", spreadOf(result.views), false, false);
    printJsonSpread("polygonsDrawn", spreadOf(result.fans), false, false);
    printJsonSpread("verticesDrawn", spreadOf(result.vertices), false, false);
    const Spread asRecorded = spreadOf(result.writesAsRecorded);
    const Spread merged = spreadOf(result.writesMerged);
    std::printf(
        "  \"pixelWrites\": {\"asRecorded\": {\"median\": %.3f, \"max\": %.3f}, "
        "\"merged\": {\"median\": %.3f, \"max\": %.3f}},\n",
        asRecorded.median, asRecorded.max, merged.median, merged.max);
    std::printf("  \"arenaPeak\": {\"polygons\": %d, \"points\": %d, \"slots\": %d},\n",
                result.peakPolygons, result.peakPoints, result.peakSlots);
    std::printf("  \"arenaOverflowFrames\": %lld,\n",
                static_cast<long long>(result.overflowFrames));
    std::printf("  \"trimmedFrames\": %lld,\n", static_cast<long long>(result.trimmedFrames));
    std::printf("  \"unmendedFrames\": %lld,\n", static_cast<long long>(result.unmendedFrames));
    std::printf("  \"heapAllocationsPerFrame\": %llu\n",
                static_cast<unsigned long long>(result.maxAllocations));
    std::printf("}\n");
}

void printTable(const BenchOptions& options, const BenchResult& result, const char* backend,
                int samples) {
    const double fps = result.totalFrameSeconds > 0.0
                           ? static_cast<double>(options.frames) / result.totalFrameSeconds
                           : 0.0;
    const Spread frame = spreadOf(result.frameMs);
    const Spread traversal = spreadOf(result.traversalMs);
    const Spread views = spreadOf(result.views);
    const Spread fans = spreadOf(result.fans);
    const Spread vertices = spreadOf(result.vertices);
    std::printf(
        "%llu frames at %dx%d, depth %d, %s backend, %d sample%s per pixel: %.1f frames/s\n",
        static_cast<unsigned long long>(options.frames), options.width, options.height,
        options.depth, backend, samples, samples == 1 ? "" : "s", fps);
    std::printf("%-26s %12s %12s %12s\n", "", "median", "p99", "max");
    std::printf("%-26s %12.3f %12.3f %12.3f\n", "frame (ms)", frame.median, frame.p99, frame.max);
    std::printf("%-26s %12.3f\n", "frame, CPU of all threads", result.cpuMsPerFrame);
    std::printf("%-26s %12.3f %12.3f %12.3f\n", "traversal, no drawing (ms)", traversal.median,
                traversal.p99, traversal.max);
    std::printf("%-26s %12.0f %12s %12.0f\n", "views per frame", views.median, "", views.max);
    std::printf("%-26s %12.0f %12s %12.0f\n", "triangle fans per frame", fans.median, "", fans.max);
    std::printf("%-26s %12.0f %12s %12.0f\n", "vertices per frame", vertices.median, "",
                vertices.max);
    const Spread asRecorded = spreadOf(result.writesAsRecorded);
    const Spread merged = spreadOf(result.writesMerged);
    std::printf("%-26s %12.3f %12s %12.3f\n", "writes per pixel, exact", asRecorded.median, "",
                asRecorded.max);
    std::printf("%-26s %12.3f %12s %12.3f\n", "writes per pixel, merged", merged.median, "",
                merged.max);
    std::printf(
        "arena peak: %d polygons, %d points, %d slots; frames that ran out: %lld; trimmed to "
        "fit: %lld; drawn unmended: %lld\n",
        result.peakPolygons, result.peakPoints, result.peakSlots,
        static_cast<long long>(result.overflowFrames), static_cast<long long>(result.trimmedFrames),
        static_cast<long long>(result.unmendedFrames));
    std::printf("heap allocations in the busiest frame: %llu (%s)\n",
                static_cast<unsigned long long>(result.maxAllocations),
                allocation_counter::countsMalloc()
                    ? "operator new; malloc too in the frames without drawing"
                    : "operator new only in this build");
}

}  // namespace

int runBench(int argc, char** argv) {
    BenchOptions options;
    const int parsed = parseOptions(argc, argv, options);
    if (parsed == -1)
        return 0;
    if (parsed != 0)
        return parsed;

    RenderSession session;
    session.backend = options.backend;
    session.samples = options.samples;
    if (!options.scene.empty() && !useSceneFile("bench", options.scene))
        return 1;
    if (!session.open("bench", options.root, options.width, options.height)) {
        return 1;
    }
    session.depth = options.depth;
    BenchResult result;
    result.frameMs.reserve(options.frames);
    result.traversalMs.reserve(options.frames);
    result.views.reserve(options.frames);
    result.fans.reserve(options.frames);
    result.vertices.reserve(options.frames);
    result.writesAsRecorded.reserve(options.frames);
    result.writesMerged.reserve(options.frames);
    measure(session, options, result);
    const char* const backend = sceneBackend->name();
    session.finish();
    if (options.json) {
        printJson(options, result, backend, session.samples);
    } else {
        printTable(options, result, backend, session.samples);
    }
    return 0;
}
