// glasswake-tool render: pictures of the demo's frames without a display.

#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "render/frame_state.h"
#include "scene/scene.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/frame_pipeline.h"
#include "tools/output_file.h"
#include "tools/png_writer.h"
#include "tools/render_session.h"
#include "tools/scene_option.h"
#include "tools/video_encoder.h"
#include "tools/view_overlay.h"

namespace {

const std::string renderExamples =
    "glasswake-tool render --time-ms=2500 -o frame.png\n"
    "the frame at 2.5 s, " +
    frameSizeText(kDefaultWidth, kDefaultHeight) +
    "\n"
    "glasswake-tool render --frames=240 --size=1920x1080 -o orbit.mp4\n"
    "one " +
    std::to_string(kOrbitPeriodMs / 1000) +
    "-second orbit at 30 frames per second, as an H.264 video\n"
    "glasswake-tool render --frames=60 --output-dir=clip\n"
    "two seconds as clip/frame_00000.png to clip/frame_00059.png\n"
    "glasswake-tool render --camera=30,30,6 --overlay=views -o above.png\n"
    "the scene from above, every view's window outlined\n"
    "glasswake-tool render --time-ms=2500 --list-views\n"
    "the frame's views as a table, no picture written";

const CommandHelp renderHelp = {
    "render",
    "[OPTION]... -o FILE.png\n"
    "[OPTION]... --frames=N --output-dir=DIR\n"
    "[OPTION]... --frames=N -o CLIP.mp4|CLIP.webm|CLIP.gif",
    "Draws the demo's frames without a display or a GPU: one picture of the moment "
    "--time-ms, or --frames pictures at --start-ms + k*1000/--fps ms (k from 0, rounded to "
    "the millisecond) as a numbered PNG sequence or one video encoded by ffmpeg. Each picture "
    "is what the demo shows at that moment, black border included. Every file appears whole "
    "or not at all: it is written under a hidden name beside it and renamed when complete.",
    renderExamples.c_str(),
    "0 when everything asked for was written; 1 when a data file, the drawing, ffmpeg or a "
    "file failed (the file named with the reason); 2 for a bad command line; 128 + the "
    "signal when stopped by one (130 after Ctrl+C). A failed or interrupted video leaves no file; "
    "a PNG sequence keeps the whole "
    "frames written so far."};

struct RenderOptions {
    bool haveTime = false;
    std::uint32_t timeMs = 0;
    bool haveFrames = false;
    std::uint64_t frames = 0;
    bool haveFirst = false;
    std::uint64_t firstFrame = 0;  // of the whole clip: a chunk's first frame
    bool haveFps = false;
    double fps = 30.0;
    bool haveStart = false;
    std::uint64_t startMs = 0;
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    std::string root;   // empty: the first folder holding the data set
    std::string scene;  // a scene file instead of the data set
    std::string output;
    std::string outputDir;
    VideoFormat video = VideoFormat::None;
    std::string ffmpeg;
    int depth = kDemoDepthBudget;
    bool overlay = false;
    std::int32_t onlyView = -1;
    bool listViews = false;
    bool unmended = false;
    bool allowPartial = false;  // frames that overflowed the frame memory are no failure
    BackendChoice backend = BackendChoice::Auto;
    int samples = 0;  // 0: the demo's
    std::optional<Camera> camera;
};

int usageError(const char* problem, const char* argument) {
    return ::usageError("render", problem, argument);
}

std::string sizeText(const RenderOptions& options) {
    return frameSizeText(options.width, options.height);
}

// What --help says of --camera: the limits, and the orbit as a camera.
std::string cameraHelp() {
    const Camera start = orbitCamera(0.0);
    char orbit[160];
    std::snprintf(orbit, sizeof orbit,
                  "); the orbit is yaw %g degrees a second, pitch %.2f, distance %.3f",
                  orbitCamera(1.0).yawDegrees, start.pitchDegrees, start.distance);
    char target[96];
    std::snprintf(target, sizeof target, "(%g, %g, %g)", kOrbitTarget.x, kOrbitTarget.y,
                  kOrbitTarget.z);
    return std::string("look from there instead of the orbit, always at the point ") + target +
           ": degrees about the vertical axis (0 where the orbit starts), " +
           cameraLimitsText("degrees above that point's level (", "), distance in scene units (") +
           orbit;
}

std::string fpsText(double fps) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", fps);
    return text;
}

bool isPngName(const std::string& name) {
    const std::size_t dot = name.find_last_of("./");
    return dot != std::string::npos && name[dot] == '.' &&
           strcasecmp(name.c_str() + dot + 1, "png") == 0;
}

// Whether the output options fit one picture or --frames; 0 or the exit code.
int checkOutput(const RenderOptions& options) {
    const bool png = isPngName(options.output);
    if (!options.output.empty() && !png && options.video == VideoFormat::None) {
        return usageError(
            "unknown output format; give a .png name, or with --frames .mp4, "
            ".webm or .gif",
            options.output.c_str());
    }
    const bool writes = !options.output.empty() || !options.outputDir.empty();
    if (!options.haveFrames) {
        if (!writes && !options.listViews)
            return usageError("nothing to write; give -o FILE.png (or --list-views)", nullptr);
        if (options.video != VideoFormat::None)
            return usageError("one frame writes one PNG picture; --frames writes videos",
                              options.output.c_str());
        if (!options.outputDir.empty() || options.haveFps || options.haveStart ||
            options.haveFirst) {
            return usageError(
                "--output-dir, --fps, --start-ms and --first-frame belong to --frames", nullptr);
        }
    } else if (options.haveTime) {
        return usageError("give either --time-ms or --frames, not both", nullptr);
    } else if (options.haveFirst && options.video != VideoFormat::None) {
        return usageError(
            "--first-frame makes a chunk of a PNG sequence (--output-dir); join "
            "the chunks' frames into one video with ffmpeg",
            nullptr);
    } else if (!options.output.empty() && !options.outputDir.empty()) {
        return usageError("give either --output or --output-dir, not both", nullptr);
    } else if (!writes && !options.listViews) {
        return usageError("--frames needs --output-dir DIR or --output CLIP.mp4|.webm|.gif",
                          nullptr);
    } else if (png) {
        return usageError(
            "--frames writes PNG files into --output-dir DIR; --output names a "
            ".mp4, .webm or .gif video",
            options.output.c_str());
    }
    if (options.video == VideoFormat::Gif && options.fps > kMaxGifFps) {
        return usageError(
            "a GIF plays at most 50 frames/s (its frame delays are whole hundredths of a "
            "second); give a lower --fps, not",
            fpsText(options.fps).c_str());
    }
    if (!options.ffmpeg.empty() && options.video == VideoFormat::None)
        return usageError("--ffmpeg belongs to video output", nullptr);
    // 4:2:0 colour halves both sides; every format refuses odd ones alike.
    if (options.video != VideoFormat::None && (options.width % 2 != 0 || options.height % 2 != 0))
        return usageError("a video needs an even width and height, not", sizeText(options).c_str());
    const double lastMs = static_cast<double>(options.startMs) +
                          std::round(static_cast<double>(options.firstFrame + options.frames - 1) *
                                     1000.0 / options.fps);
    if (options.haveFrames && lastMs > static_cast<double>(UINT32_MAX))
        return usageError("the last frame would lie beyond 4294967295 ms", nullptr);
    return 0;
}

// What the option table reads, before it is checked and settled.
struct GivenOptions {
    std::uint64_t timeMs = 0;
    std::uint64_t depth = kDemoDepthBudget;
    std::uint64_t onlyView = 0;
    FrameSize size;
    std::string backend;
    std::string samples;
    std::string camera;
};

// --samples read into options (after --backend); 0 or the exit code.
int checkSamples(const std::string& text, RenderOptions& options) {
    if (!text.empty() && !parseSamples(text, options.samples))
        return usageError("--samples needs 1, 2, 4 or 8", text.c_str());
    if (options.samples > 1 && options.backend == BackendChoice::Exact)
        return usageError("--backend exact draws one sample per pixel, not", text.c_str());
    return 0;
}

// Settles what the table read into `options`; 0 or the exit code.
int settleOptions(const GivenOptions& read, RenderOptions& options) {
    if (!read.backend.empty() && !parseBackend(read.backend, options.backend))
        return usageError("--backend needs exact or fast", read.backend.c_str());
    if (const int refused = checkSamples(read.samples, options); refused)
        return refused;
    Camera camera;
    if (!read.camera.empty()) {
        if (!parseCamera(read.camera.c_str(), camera)) {
            const std::string needs = "--camera needs YAW,PITCH,DISTANCE with " +
                                      cameraLimitsText("pitch ", " and distance ");
            return usageError(needs.c_str(), read.camera.c_str());
        }
        options.camera = camera;
    }
    options.timeMs = static_cast<std::uint32_t>(read.timeMs);
    options.width = read.size.width;
    options.height = read.size.height;
    options.depth = static_cast<int>(read.depth);
    options.video = videoFormatOf(options.output);
    return checkOutput(options);
}

// What --help says of the options whose texts come from the demo's defaults
// and limits; they live as long as the table that points at them.
struct OptionTexts {
    std::string size = sizeHelp() + "; videos need an even width and height";
    std::string sizeLacks = sizeNeeds();
    std::string camera = cameraHelp();
    std::string depth = depthHelp();
    std::string depthLacks = depthNeeds();
};

// Every option once: where its value goes and what --help says of it.
std::vector<CommandOption> optionTable(RenderOptions& options, GivenOptions& read,
                                       const OptionTexts& texts) {
    using Kind = CommandOption::Kind;
    return {
        {"--time-ms", 0, Kind::Count, &read.timeMs, "T",
         "draw the moment T milliseconds into the demo's clock (default 0)",
         "a whole number of milliseconds", 0, UINT32_MAX},
        {"--frames", 0, Kind::Count, &options.frames, "N",
         "draw N frames (1 to 10000000) as a PNG sequence or a video",
         "a frame count from 1 to "
         "10000000",
         1, 10000000},
        {"--first-frame", 0, Kind::Count, &options.firstFrame, "K",
         "with --frames and --output-dir: draw frames K to K+N-1 of the clip, at the times and "
         "with the file numbers one run of the whole clip gives them, so chunks of a long clip "
         "can be drawn apart (default 0)",
         "a frame number", 0, UINT32_MAX},
        {"--fps", 0, Kind::Rate, &options.fps, "F",
         "frames per second of --frames, above 0 and at most 1000; a decimal such as 29.97 "
         "(default 30)",
         "a rate above 0 and at most 1000", 0, 1000},
        {"--start-ms", 0, Kind::Count, &options.startMs, "T0",
         "the moment of the first of --frames, in milliseconds (default 0)",
         "a whole number of milliseconds", 0, UINT32_MAX},
        {"--output", 'o', Kind::Text, &options.output, "FILE",
         "write the picture FILE.png; with --frames, the video FILE.mp4 (H.264, yuv420p, bt709), "
         "FILE.webm (VP9) or FILE.gif (looping forever)",
         "a file name"},
        {"--output-dir", 0, Kind::Text, &options.outputDir, "DIR",
         "with --frames: write DIR/frame_00000.png, DIR/frame_00001.png, ... (DIR is made when "
         "missing)",
         "a directory"},
        {"--size", 0, Kind::Size, &read.size, "WxH", texts.size.c_str(), texts.sizeLacks.c_str()},
        {"--root", 0, Kind::Text, &options.root, "DIR",
         "read the data files from DIR/data (default: ./data, else the installed data)",
         "a directory"},
        {"--scene", 0, Kind::Text, &options.scene, "FILE",
         "draw the scene a scene file describes (see glasswake-tool check) instead of the data "
         "set; --root is then not used",
         "a scene file"},
        {"--backend", 0, Kind::Text, &read.backend, "exact|fast",
         "draw with the exact OpenGL 1.1 backend or the fast OpenGL 2.0 one (default: fast "
         "where the context has shaders)",
         "exact or fast"},
        {"--samples", 0, Kind::Text, &read.samples, "1|2|4|8",
         "samples per pixel, each pixel the mean of its samples (default: 4 where the context "
         "offers them, else 1, as the demo; the exact backend draws 1)",
         "1, 2, 4 or 8"},
        {"--camera", 0, Kind::Text, &read.camera, "YAW,PITCH,DISTANCE", texts.camera.c_str(),
         "YAW,PITCH,DISTANCE"},
        {"--depth", 0, Kind::Count, &read.depth, "D", texts.depth.c_str(), texts.depthLacks.c_str(),
         0, kMaxToolDepth},
        {"--overlay", 0, Kind::Word, nullptr, "views",
         "outline every view's window over the frame, coloured by depth, mirrored views dashed, "
         "with a legend",
         "views", 0, 0, "views"},
        {"--only-view", 0, Kind::Count, &read.onlyView, "N",
         "draw only view N (its number in --list-views) and what is seen through it",
         "a view index", 0, INT32_MAX - 1},
        {"--list-views", 0, Kind::Flag, &options.listViews, nullptr,
         "print every view of each frame drawn: number, kind, depth, parent, polygons, window "
         "area; without --output or --output-dir no file is written",
         nullptr},
        {"--allow-partial", 0, Kind::Flag, &options.allowPartial, nullptr,
         "accept frames that overflowed the frame memory and lack parts of the scene: written "
         "with a warning either way, but exit status 0 instead of 1",
         nullptr},
        {"--unmended", 0, Kind::Flag, &options.unmended, nullptr,
         "draw the pieces as cut, without the points their neighbours made on their edges (the "
         "hairline cracks that mending removes)",
         nullptr},
        {"--ffmpeg", 0, Kind::Text, &options.ffmpeg, "PATH",
         "the ffmpeg that encodes videos (default: ffmpeg on PATH)", "the ffmpeg program's path"},
    };
}

// Returns 0 when the options are complete and consistent, else the exit code
// (2 after a usage error, or -1 for --help and --version, which exit 0).
int parseOptions(int argc, char** argv, RenderOptions& options) {
    GivenOptions read;
    const OptionTexts texts;
    std::vector<CommandOption> table = optionTable(options, read, texts);
    const int count = static_cast<int>(table.size());
    const int parsed = parseCommandLine(renderHelp, argc, argv, table.data(), count);
    if (parsed != 0)
        return parsed;
    const auto named = [&](const char* name) { return given(table.data(), count, name); };
    options.haveTime = named("--time-ms");
    options.haveFrames = named("--frames");
    options.haveFps = named("--fps");
    options.haveStart = named("--start-ms");
    options.haveFirst = named("--first-frame");
    options.overlay = named("--overlay");
    options.onlyView = named("--only-view") ? static_cast<std::int32_t>(read.onlyView) : -1;
    return settleOptions(read, options);
}

// The moment of the run's k-th frame: frame firstFrame + k of the clip, so a
// chunk's frames are those of one run of the whole clip.
std::uint32_t sequenceTime(const RenderOptions& options, std::uint64_t k) {
    const double frame = static_cast<double>(options.firstFrame + k);
    return static_cast<std::uint32_t>(
        options.startMs + static_cast<std::uint64_t>(std::llround(frame * 1000.0 / options.fps)));
}

// Whether the progress bar is the last thing on the terminal's line: any
// other message starts a line of its own.
bool progressLineOpen = false;

void endProgressLine() {
    if (progressLineOpen)
        std::fputc('\n', stderr);
    progressLineOpen = false;
}

int fail(const std::string& problem) {
    endProgressLine();
    std::fprintf(stderr, "glasswake-tool render: %s\n", problem.c_str());
    return 1;
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
    progressLineOpen = true;
    if (done == total)
        endProgressLine();
    std::fflush(stderr);
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
    endProgressLine();
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
struct Explaining {
    SubtreeBackend subtree;
    std::vector<OutlineSegment> segments;
};

int explainFrame(const RenderOptions& options, Explaining& explaining, const FrameInputs& frame) {
    const std::uint32_t timeMs = frame.timeMs;
    std::vector<OutlineSegment>& segments = explaining.segments;
    if (options.onlyView >= 0 && !explaining.subtree.found()) {
        return fail("the frame at " + std::to_string(timeMs) + " ms has no view " +
                    std::to_string(options.onlyView) + " (--list-views shows them)");
    }
    const CommandRange range = viewSubtree(frameState.record, options.onlyView);
    if (options.listViews)
        listViews(frameState.record, range);
    if (options.overlay) {
        segments.clear();
        const float aspect = static_cast<float>(frame.width) / static_cast<float>(frame.height);
        const bool complete =
            appendViewOutlines(frameState.record, range, segments) &&
            appendOutlineLegend(aspect, deepestView(frameState.record, range), segments);
        if (!complete) {
            fail("too many outlines; some are left out");
        }
        drawOutlineSegments(segments, aspect);
    }
    return 0;
}

// drawFrames' status when an encoder failed; its reason comes with finish().
constexpr int kEncoderFailed = -1;

// How many frames a GIF's palette is made from, spread over the clip.
constexpr std::uint64_t kPaletteFrames = 32;

// The signal (Ctrl+C, SIGTERM, a closed terminal's SIGHUP) that stops the
// clip being made: the loop stops, ffmpeg is stopped and the partial file
// removed; the exit status is then 128 + the signal.
volatile std::sig_atomic_t interrupted = 0;
// The ffmpeg being fed, told to stop with the tool (a terminal's Ctrl+C
// reaches it anyway; a signal sent to the tool alone does not).
std::atomic<pid_t> runningFfmpeg{-1};

void onInterrupt(int signal) {
    interrupted = signal;
    const pid_t ffmpeg = runningFfmpeg.load();
    if (ffmpeg > 0)
        kill(ffmpeg, SIGTERM);
}

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    // A stopped ffmpeg shows as a failed write, not as the tool's death.
    signal(SIGPIPE, SIG_IGN);
}

int interruptedStatus() {
    return 128 + static_cast<int>(interrupted);
}

// Where the frames go, settled before anything is drawn: paths absolute
// (the working directory moves to the data root), the folder made, ffmpeg
// found, a killed run's leftovers removed and the video's hidden file made.
struct Destination {
    std::filesystem::path picture;
    std::filesystem::path folder;
    std::string video;
    PartialFile partial;
    PartialFile palette;  // a GIF's, made by its first pass
    std::string ffmpeg;
};

bool isFrameName(const std::string& name) {
    return name.size() == 15 && name.compare(0, 6, "frame_") == 0 &&
           name.compare(11, 4, ".png") == 0 && std::strspn(name.c_str() + 6, "0123456789") == 5;
}

int prepare(const RenderOptions& options, Destination& destination) {
    std::error_code ec;
    const std::string& given = options.outputDir.empty() ? options.output : options.outputDir;
    if (given.empty())
        return 0;  // --list-views alone
    const std::filesystem::path path = std::filesystem::absolute(given, ec);
    const std::string stem = hiddenStem(path.filename().string());
    const auto ownLeftovers = [&stem](const std::string& found) { return found == stem; };
    if (!options.haveFrames) {
        destination.picture = path;
        removeLeftovers(path.parent_path().string(), ownLeftovers);
    } else if (options.video == VideoFormat::None) {
        destination.folder = path;
        if (!ec)
            std::filesystem::create_directories(path, ec);
        removeLeftovers(path.string(), isFrameName);
    } else {
        std::string error;
        const std::string ffmpeg = findFfmpeg(options.ffmpeg, error);
        if (ffmpeg.empty())
            return fail(error);
        destination.ffmpeg = std::filesystem::absolute(ffmpeg, ec).string();  // as found here
        destination.video = path.string();
        removeLeftovers(path.parent_path().string(), ownLeftovers);
        if (!destination.partial.create(destination.video, "new", error) ||
            (options.video == VideoFormat::Gif &&
             !destination.palette.create(destination.video, "palette", error))) {
            return fail(error);
        }
    }
    if (ec)
        return fail(given + ": " + ec.message());
    return 0;
}

struct Progress {
    bool shown = isatty(STDERR_FILENO) != 0;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    std::chrono::steady_clock::time_point begin = std::chrono::steady_clock::now();
    // Frames of the output that lost what overflowed the frame memory.
    std::uint64_t overflowed = 0;
    // Frames drawn whole with their smallest windows left closed to fit.
    std::uint64_t trimmed = 0;

    void count(bool palettePass = false) {
        overflowed += !palettePass && frameState.stats.frameOverflowed ? 1 : 0;
        trimmed += !palettePass && frameState.stats.frameTrimmed ? 1 : 0;
    }

    void step() {
        ++done;
        if (shown) {
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
            showProgress(done, total, elapsed.count());
        }
    }
};

// Hands the frame whose read into buffer `slot` was started to the pipeline
// as frame k, once the read has landed; 0 or the exit code.
int handOver(RenderSession& session, FramePipeline& pipeline, int slot, std::uint64_t k,
             Progress& progress) {
    if (!session.gl.finishRead(slot))
        return fail("cannot read the frame back from OpenGL");
    pipeline.submit(slot, k);
    progress.step();
    return 0;
}

// Draws every step-th frame of the clip into the pipeline, until the end, a
// failure or an interruption; 0 or the exit code. Each frame is read back
// while the next one is drawn: its read starts into a free buffer, the next
// frame is drawn, and only then is the frame handed to the encoders, which
// take it straight from that buffer.
int drawFrames(const RenderOptions& options, RenderSession& session, Explaining& explaining,
               FramePipeline& pipeline, std::uint64_t step, Progress& progress) {
    int pendingSlot = -1;  // the buffer the last frame is being read into
    std::uint64_t pendingFrame = 0;
    for (std::uint64_t k = 0; k < options.frames && !interrupted; k += step) {
        const std::uint32_t timeMs = sequenceTime(options, k);
        session.runFrame(timeMs);
        // A palette's frames come again in the clip's pass, counted there.
        progress.count(step != 1);
        if (explainFrame(options, explaining, session.inputsAt(timeMs)) != 0)
            return 1;
        const int slot = pipeline.acquire();
        if (slot < 0)
            return kEncoderFailed;
        if (!session.gl.startRead(slot))
            return fail("cannot read the frame back from OpenGL");
        if (pendingSlot >= 0) {
            if (const int status = handOver(session, pipeline, pendingSlot, pendingFrame, progress))
                return status;
        }
        pendingSlot = slot;
        pendingFrame = k;
    }
    if (pendingSlot >= 0 && !interrupted) {
        if (const int status = handOver(session, pipeline, pendingSlot, pendingFrame, progress))
            return status;
    }
    return interrupted ? interruptedStatus() : 0;
}

std::size_t frameBytes(const RenderSession& session) {
    return static_cast<std::size_t>(session.gl.width) *
           static_cast<std::size_t>(session.gl.height) * 4;
}

// Starts the pipeline on pixel buffers the frames are read into and the
// encoders read from, kept mapped; 0 or the exit code.
int startPipeline(RenderSession& session, FramePipeline& pipeline, int workers,
                  std::uint64_t frames, FramePipeline::Encoder encoder) {
    const std::size_t bytes = frameBytes(session);
    const std::size_t count = FramePipeline::bufferCount(bytes, workers, frames);
    const std::string size =
        std::to_string(session.gl.width) + "x" + std::to_string(session.gl.height);
    if (!session.gl.mapReadBuffers(static_cast<int>(count)))
        return fail(session.gl.error);
    const std::vector<std::uint8_t*> buffers(session.gl.readMappings);
    if (!pipeline.start(bytes, workers, frames, std::move(encoder), buffers))
        return fail("no memory or threads for the encoders of " + size + " frames");
    return 0;
}

// PNG files, written by one worker per core while the next frames are drawn.
int renderSequence(const RenderOptions& options, RenderSession& session, Explaining& explaining,
                   const Destination& destination, Progress& progress) {
    const int width = session.gl.width;
    const int height = session.gl.height;
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    FramePipeline pipeline;
    const int started = startPipeline(
        session, pipeline, cores > 1 ? cores : 1, options.frames,
        [&](std::uint64_t k, const std::uint8_t* rgb, std::string& error) {
            char name[32];
            std::snprintf(name, sizeof name, "frame_%05llu.png",
                          static_cast<unsigned long long>(options.firstFrame + k));
            return writePngBgrx((destination.folder / name).string(), width, height, rgb, error);
        });
    if (started != 0)
        return started;
    const int status = drawFrames(options, session, explaining, pipeline, 1, progress);
    std::string error;
    if (!pipeline.finish(error, status != 0) && !interrupted)
        return fail(error);
    return interrupted ? interruptedStatus() : status == kEncoderFailed ? 1 : status;
}

// Why a pass whose frames did not all reach ffmpeg failed: the pipe's
// reason, and ffmpeg's status and own words when it gave them.
std::string pipeFailure(const std::string& pipeError, const std::string& ffmpegError) {
    if (ffmpegError.empty())
        return pipeError + ", and ended with exit status 0 before the video was written";
    return ffmpegError;
}

// One run of ffmpeg over every step-th frame, writing `file`; 0 or the exit
// code. The clip's pass reads back what ffmpeg wrote.
int encodePass(const RenderOptions& options, RenderSession& session, Explaining& explaining,
               const Destination& destination, VideoFormat format, const PartialFile& file,
               std::uint64_t step, Progress& progress) {
    const std::uint64_t frames = (options.frames + step - 1) / step;
    VideoEncoder video;
    video.cancelled = &interrupted;
    FramePipeline pipeline;
    const int started = startPipeline(session, pipeline, 1, frames,
                                      [&video](std::uint64_t, const std::uint8_t* rgb,
                                               std::string& why) { return video.write(rgb, why); });
    if (started != 0)
        return started;
    std::string error;
    if (!video.start(destination.ffmpeg, format, session.gl.width, session.gl.height, options.fps,
                     file.fd(), destination.palette.hiddenPath(), error)) {
        return fail(error);
    }
    runningFfmpeg = video.pid;
    int status = drawFrames(options, session, explaining, pipeline, step, progress);
    const bool piped = pipeline.finish(error, status != 0);
    std::string ffmpegError;
    const bool encoded = video.finish(status != 0 || !piped, ffmpegError);
    runningFfmpeg = -1;
    // Ctrl+C reaches ffmpeg too; its failure is then no news.
    if (interrupted)
        return interruptedStatus();
    if (status != 0 && status != kEncoderFailed)
        return status;
    if (!piped)
        return fail(pipeFailure(error, ffmpegError));
    if (!encoded)
        return fail(ffmpegError);
    if (format != VideoFormat::GifPalette &&
        !videoReadsBack(destination.ffmpeg, file.fd(), frames, &interrupted, error)) {
        return interrupted ? interruptedStatus() : fail(destination.video + ": " + error);
    }
    return 0;
}

// A video file; a GIF takes two passes: its palette from frames spread over
// the clip, then the clip drawn with that palette. The hidden files go with
// the destination, whatever happens.
int renderVideo(const RenderOptions& options, RenderSession& session, Explaining& explaining,
                Destination& destination, Progress& progress) {
    int status = 0;
    if (options.video == VideoFormat::Gif) {
        const std::uint64_t step = options.frames / kPaletteFrames + 1;
        progress.total += (options.frames + step - 1) / step;
        RenderOptions sampling = options;  // the views are listed once, in the clip's pass
        sampling.listViews = false;
        status = encodePass(sampling, session, explaining, destination, VideoFormat::GifPalette,
                            destination.palette, step, progress);
    }
    if (status == 0) {
        status = encodePass(options, session, explaining, destination, options.video,
                            destination.partial, 1, progress);
    }
    destination.palette.discard();
    std::string error;
    if (status == 0 && !destination.partial.commit(error))
        return fail(error);
    return status;
}

// --list-views alone: every frame of the clip drawn and listed, nothing written.
int listClip(const RenderOptions& options, RenderSession& session, Explaining& explaining,
             Progress& progress) {
    for (std::uint64_t k = 0; k < options.frames && !interrupted; ++k) {
        const std::uint32_t timeMs = sequenceTime(options, k);
        session.runFrame(timeMs);
        progress.count();
        if (explainFrame(options, explaining, session.inputsAt(timeMs)) != 0)
            return 1;
    }
    return interrupted ? interruptedStatus() : 0;
}

int renderClip(const RenderOptions& options, RenderSession& session, Explaining& explaining,
               Destination& destination, Progress& progress) {
    if (options.output.empty() && options.outputDir.empty())
        return listClip(options, session, explaining, progress);
    progress.total = options.frames;
    const int status = options.video == VideoFormat::None
                           ? renderSequence(options, session, explaining, destination, progress)
                           : renderVideo(options, session, explaining, destination, progress);
    if (interrupted && status == interruptedStatus()) {
        fail(options.video == VideoFormat::None ? "interrupted" : "interrupted; no video written");
    }
    return status;
}

int renderPicture(const RenderOptions& options, RenderSession& session, Explaining& explaining,
                  const Destination& destination, Progress& progress) {
    session.renderFrame(options.timeMs);
    progress.count();
    if (explainFrame(options, explaining, session.inputsAt(options.timeMs)) != 0)
        return 1;
    if (destination.picture.empty())
        return 0;  // --list-views alone
    std::vector<std::uint8_t> rgb;
    if (!session.gl.readPixels(rgb))
        return fail("cannot read the frame back from OpenGL");
    std::string error;
    if (!writePngRgb(destination.picture.string(), session.gl.width, session.gl.height, rgb,
                     error)) {
        return fail(error);
    }
    return 0;
}

// Frames that overflowed the frame memory lack objects or views they would
// have shown: written, but a failure unless the user accepts them. Trimmed
// frames are whole, with views too small to matter left closed: a warning.
int reportOverflow(const RenderOptions& options, const Progress& progress, int status) {
    if (status != 0)
        return status;
    const auto frames = static_cast<unsigned long long>(options.haveFrames ? options.frames : 1);
    if (progress.trimmed > 0) {
        std::fprintf(stderr,
                     "glasswake-tool render: warning: %llu of %llu frames needed more than the "
                     "frame memory and were drawn with their smallest views left closed\n",
                     static_cast<unsigned long long>(progress.trimmed), frames);
    }
    if (progress.overflowed == 0)
        return 0;
    std::fprintf(stderr,
                 "glasswake-tool render: warning: %llu of %llu frames overflowed the frame "
                 "memory and lack parts of the scene%s\n",
                 static_cast<unsigned long long>(progress.overflowed), frames,
                 options.allowPartial ? "" : " (--allow-partial accepts such frames)");
    return options.allowPartial ? 0 : 1;
}

}  // namespace

int runRender(int argc, char** argv) {
    RenderOptions options;
    const int parsed = parseOptions(argc, argv, options);
    if (parsed != 0)
        return parsed == -1 ? 0 : parsed;
    if (options.haveFrames)
        catchInterrupts();  // before the partial file exists
    Destination destination;
    if (const int prepared = prepare(options, destination); prepared != 0)
        return prepared;
    RenderSession session;
    session.backend = options.backend;
    session.samples = options.samples;
    if (!options.scene.empty() && !useSceneFile("render", options.scene))
        return 1;
    if (!session.open("render", options.root, options.width, options.height))
        return 1;
    session.depth = options.depth;
    session.camera = options.camera;
    frameState.mending = !options.unmended;
    Explaining explaining;
    if (options.onlyView >= 0) {
        if (!explaining.subtree.select(sceneBackend, options.onlyView,
                                       frameState.record.capacity)) {
            session.finish();
            return fail("no memory for a copy of the record");
        }
        session.drawing = &explaining.subtree;
    }
    if (options.overlay)
        explaining.segments.reserve(1 << 20);
    Progress progress;
    int status = !options.haveFrames
                     ? renderPicture(options, session, explaining, destination, progress)
                     : renderClip(options, session, explaining, destination, progress);
    status = reportOverflow(options, progress, status);
    session.finish();
    return status;
}
