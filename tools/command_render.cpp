// glasswake-tool render: pictures of the demo's frames without a display.

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "render/render_stats.h"
#include "scene/scene.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/png_writer.h"
#include "tools/render_session.h"
#include "tools/view_overlay.h"

namespace {

const char* const renderUsage =
    "usage: glasswake-tool render --time-ms T [--size WxH] [--root DIR] --output FILE.png\n"
    "       glasswake-tool render --frames N [--fps F] [--start-ms T0] [--size WxH] [--root DIR]\n"
    "                             --output-dir DIR\n"
    "Draws the demo's frame at time T ms (or N frames at T0 + k*1000/F ms, F default 30,\n"
    "T0 default 0) into a WxH picture (default 640x480), reading data/ under DIR\n"
    "(default: the current directory, else the installed data). The sequence is written as "
    "DIR/frame_00000.png, ...\n"
    "Explaining the frame: --depth D looks through up to D faces in a row (0 to 6, default 2,\n"
    "as the demo); --overlay views draws every view's window outline over the frame,\n"
    "coloured by depth, mirrored views dashed, with a legend; --only-view N draws only view N\n"
    "(the index of its Fill command) and what is seen through it; --list-views prints\n"
    "every view of the frame: index, kind, depth, parent, polygons, window area.\n"
    "--backend exact|fast picks what draws (default: fast where the context allows it).\n"
    "--camera YAW,PITCH,DISTANCE looks from there instead of the orbit: degrees about the\n"
    "vertical axis (0 where the orbit starts), degrees above the target's level (-10 to 80),\n"
    "distance from the target (3 to 12); the orbit is 45 degrees a second, 14.04, 4.123.\n";

struct RenderOptions {
    bool haveTime = false;
    std::uint32_t timeMs = 0;
    bool haveFrames = false;
    std::uint64_t frames = 0;
    bool haveFps = false;
    double fps = 30.0;
    bool haveStart = false;
    std::uint64_t startMs = 0;
    int width = 640;
    int height = 480;
    std::string root;  // empty: the first folder holding the data set
    std::string output;
    std::string outputDir;
    int depth = 2;
    bool overlay = false;
    std::int32_t onlyView = -1;
    bool listViews = false;
    BackendChoice backend = BackendChoice::Auto;
    std::optional<Camera> camera;
};

int usageError(const char* problem, const char* argument) {
    return ::usageError("render", renderUsage, problem, argument);
}

// Returns 0 when the options are complete and consistent, else the exit code
// (2 after printing the usage, or -1 for --help which exits 0).
int parseOptions(int argc, char** argv, RenderOptions& options) {
    using Kind = CommandOption::Kind;
    std::uint64_t timeMs = 0, depth = 2, onlyView = 0;
    FrameSize size;
    std::string backend, camera;
    CommandOption table[] = {
        {"--time-ms", Kind::Count, &timeMs, "a whole number of milliseconds", 0, UINT32_MAX},
        {"--frames", Kind::Count, &options.frames, "a frame count from 1 to 10000000", 1, 10000000},
        {"--fps", Kind::Rate, &options.fps, "a rate above 0 and at most 1000", 0, 1000},
        {"--start-ms", Kind::Count, &options.startMs, "a whole number of milliseconds", 0,
         UINT32_MAX},
        {"--size", Kind::Size, &size, "WxH with sides from 1 to 16384"},
        {"--depth", Kind::Count, &depth, "a depth from 0 to 6", 0, 6},
        {"--overlay", Kind::Word, nullptr, "views", 0, 0, "views"},
        {"--only-view", Kind::Count, &onlyView, "a view index", 0, INT32_MAX - 1},
        {"--list-views", Kind::Flag, &options.listViews, nullptr},
        {"--root", Kind::Text, &options.root, "a directory"},
        {"--output", Kind::Text, &options.output, "a file name"},
        {"--output-dir", Kind::Text, &options.outputDir, "a directory"},
        {"--backend", Kind::Text, &backend, "exact or fast"},
        {"--camera", Kind::Text, &camera, "YAW,PITCH,DISTANCE"},
    };
    const int parsed = parseCommandLine("render", renderUsage, argc, argv, table);
    if (parsed != 0)
        return parsed;
    if (given(table, "--backend") && !parseBackend(backend, options.backend))
        return usageError("--backend needs exact or fast", backend.c_str());
    Camera parsedCamera;
    if (given(table, "--camera") && !parseCamera(camera.c_str(), parsedCamera)) {
        return usageError(
            "--camera needs YAW,PITCH,DISTANCE with pitch -10 to 80 and distance "
            "3 to 12",
            camera.c_str());
    }
    if (given(table, "--camera"))
        options.camera = parsedCamera;
    options.haveTime = given(table, "--time-ms");
    options.timeMs = static_cast<std::uint32_t>(timeMs);
    options.haveFrames = given(table, "--frames");
    options.haveFps = given(table, "--fps");
    options.haveStart = given(table, "--start-ms");
    options.width = size.width;
    options.height = size.height;
    options.depth = static_cast<int>(depth);
    options.overlay = given(table, "--overlay");
    options.onlyView = given(table, "--only-view") ? static_cast<std::int32_t>(onlyView) : -1;
    if (options.haveTime && options.haveFrames) {
        return usageError("give either --time-ms or --frames, not both", nullptr);
    }
    if (options.haveTime) {
        if (options.output.empty())
            return usageError("--time-ms needs --output FILE.png", nullptr);
        if (!options.outputDir.empty() || options.haveFps || options.haveStart) {
            return usageError("--output-dir, --fps and --start-ms belong to --frames", nullptr);
        }
        return 0;
    }
    if (options.haveFrames) {
        if (options.outputDir.empty()) {
            return usageError("--frames needs --output-dir DIR", nullptr);
        }
        if (!options.output.empty())
            return usageError("--output belongs to --time-ms", nullptr);
        const double lastMs =
            static_cast<double>(options.startMs) +
            std::round(static_cast<double>(options.frames - 1) * 1000.0 / options.fps);
        if (lastMs > static_cast<double>(UINT32_MAX)) {
            return usageError("the last frame would lie beyond 4294967295 ms", nullptr);
        }
        return 0;
    }
    return usageError("give --time-ms T or --frames N", nullptr);
}

std::uint32_t sequenceTime(const RenderOptions& options, std::uint64_t k) {
    return static_cast<std::uint32_t>(
        options.startMs +
        static_cast<std::uint64_t>(std::llround(static_cast<double>(k) * 1000.0 / options.fps)));
}

void showProgress(std::uint64_t done, std::uint64_t total, double seconds) {
    const int barWidth = 30;
    const int filled = static_cast<int>(static_cast<double>(barWidth) * static_cast<double>(done) /
                                        static_cast<double>(total));
    char bar[barWidth + 1];
    for (int i = 0; i < barWidth; ++i)
        bar[i] = i < filled ? '#' : '-';
    bar[barWidth] = '\0';
    const double rate = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
    const double left = rate > 0.0 ? static_cast<double>(total - done) / rate : 0.0;
    std::fprintf(stderr, "\r[%s] %llu/%llu frames  %.1f frames/s  %.0f s left ", bar,
                 static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
                 rate, left);
    if (done == total)
        std::fputc('\n', stderr);
    std::fflush(stderr);
}

int writeFrame(RenderSession& session, const std::string& path) {
    std::vector<std::uint8_t> rgb;
    if (!session.gl.readPixels(rgb)) {
        std::fprintf(stderr, "glasswake-tool render: cannot read the frame back from OpenGL\n");
        return 1;
    }
    std::string error;
    if (!writePngRgb(path, session.gl.width, session.gl.height, rgb, error)) {
        std::fprintf(stderr, "glasswake-tool render: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

const char* kindName(ViewKind kind) {
    switch (kind) {
        case ViewKind::Root:
            return "root";
        case ViewKind::Mirrored:
            return "mirrored";
        case ViewKind::Refracted:
            return "refracted";
    }
    return "?";
}

void listViews(const FrameRecord& record, CommandRange range) {
    std::printf("view\tkind\tdepth\tparent\tpolygons\tarea\n");
    for (std::int32_t i = range.first; i < range.end; ++i) {
        const DrawCommand& command = record.commands[i];
        if (command.pass != DrawPass::Fill)
            continue;
        double area = 0.0;
        for (const Polygon* polygon = command.polygons; polygon; polygon = polygon->next) {
            for (std::int32_t k = 0; k < polygon->vertexCount; ++k) {
                const Point2& a = *polygon->vertices[k];
                const Point2& b = *polygon->vertices[(k + 1) % polygon->vertexCount];
                area += 0.5 * (static_cast<double>(b.x) * a.y - static_cast<double>(a.x) * b.y);
            }
        }
        std::printf("%d\t%s\t%d\t%d\t%d\t%.4f\n", i, kindName(command.kind), command.depth,
                    command.parent, command.polygonCount, area);
    }
}

// What the explaining options add to a frame just drawn, before it is read
// back: the frame record is still the frame's own until the next one starts.
int explainFrame(const RenderOptions& options, const SubtreeBackend& subtree,
                 std::vector<OutlineSegment>& segments, const FrameInputs& frame) {
    const std::uint32_t timeMs = frame.timeMs;
    if (options.onlyView >= 0 && !subtree.found()) {
        std::fprintf(stderr,
                     "glasswake-tool render: the frame at %u ms has no view %d (--list-views "
                     "shows them)\n",
                     timeMs, options.onlyView);
        return 1;
    }
    const CommandRange range = viewSubtree(frameRecord, options.onlyView);
    if (options.listViews)
        listViews(frameRecord, range);
    if (options.overlay) {
        segments.clear();
        const float aspect = static_cast<float>(frame.width) / static_cast<float>(frame.height);
        const bool complete =
            appendViewOutlines(frameRecord, range, segments) &&
            appendOutlineLegend(aspect, deepestView(frameRecord, range), segments);
        if (!complete) {
            std::fprintf(stderr, "glasswake-tool render: too many outlines; some are left out\n");
        }
        drawOutlineSegments(segments, aspect);
    }
    return 0;
}

}  // namespace

int runRender(int argc, char** argv) {
    RenderOptions options;
    const int parsed = parseOptions(argc, argv, options);
    if (parsed == -1)
        return 0;
    if (parsed != 0)
        return parsed;

    // Output paths are taken relative to where the tool was started, before
    // the working directory moves to the data root.
    std::error_code ec;
    std::filesystem::path output;
    std::filesystem::path outputDir;
    if (options.haveTime) {
        output = std::filesystem::absolute(options.output, ec);
    } else {
        outputDir = std::filesystem::absolute(options.outputDir, ec);
        if (!ec)
            std::filesystem::create_directories(outputDir, ec);
        if (ec) {
            std::fprintf(stderr, "glasswake-tool render: %s: %s\n", options.outputDir.c_str(),
                         ec.message().c_str());
            return 1;
        }
    }
    RenderSession session;
    session.backend = options.backend;
    if (!session.open("render", options.root, options.width, options.height)) {
        return 1;
    }
    session.depth = options.depth;
    session.camera = options.camera;
    SubtreeBackend subtree;
    if (options.onlyView >= 0) {
        if (!subtree.select(sceneBackend, options.onlyView, frameRecord.capacity)) {
            std::fprintf(stderr, "glasswake-tool render: no memory for a copy of the record\n");
            session.finish();
            return 1;
        }
        sceneBackend = &subtree;
    }
    std::vector<OutlineSegment> segments;
    if (options.overlay)
        segments.reserve(1 << 20);
    int status = 0;
    if (options.haveTime) {
        session.renderFrame(options.timeMs);
        status = explainFrame(options, subtree, segments, session.inputsAt(options.timeMs));
        if (status == 0)
            status = writeFrame(session, output.string());
    } else {
        const bool progress = isatty(STDERR_FILENO) != 0;
        const auto begin = std::chrono::steady_clock::now();
        for (std::uint64_t k = 0; k < options.frames && status == 0; ++k) {
            session.renderFrame(sequenceTime(options, k));
            status = explainFrame(options, subtree, segments,
                                  session.inputsAt(sequenceTime(options, k)));
            if (status != 0)
                break;
            char name[32];
            std::snprintf(name, sizeof name, "frame_%05llu.png",
                          static_cast<unsigned long long>(k));
            status = writeFrame(session, (outputDir / name).string());
            if (progress && status == 0) {
                const std::chrono::duration<double> elapsed =
                    std::chrono::steady_clock::now() - begin;
                showProgress(k + 1, options.frames, elapsed.count());
            }
        }
    }
    session.finish();
    return status;
}
