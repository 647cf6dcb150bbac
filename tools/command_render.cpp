// glasswake-tool render: pictures of the demo's frames without a display.

#include <fcntl.h>
#include <signal.h>
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

#include "render/render_stats.h"
#include "scene/scene.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/frame_pipeline.h"
#include "tools/output_file.h"
#include "tools/png_writer.h"
#include "tools/render_session.h"
#include "tools/video_encoder.h"
#include "tools/view_overlay.h"

namespace {

const char* const renderUsage =
    "usage: glasswake-tool render --time-ms T [--size WxH] [--root DIR] --output FILE.png\n"
    "       glasswake-tool render --frames N [--fps F] [--start-ms T0] [--size WxH] [--root DIR]\n"
    "                             --output-dir DIR | --output CLIP.mp4|.webm|.gif [--ffmpeg PATH]\n"
    "Draws the demo's frame at time T ms (or N frames at T0 + k*1000/F ms, F default 30,\n"
    "T0 default 0) into a WxH picture (default 640x480), reading data/ under DIR\n"
    "(default: the current directory, else the installed data). The sequence is written\n"
    "as DIR/frame_00000.png, ... or as one video at F frames/s: MP4 (H.264), WebM (VP9) or\n"
    "a looping GIF, encoded by ffmpeg (from PATH, or --ffmpeg PATH); videos need an even\n"
    "width and height.\n"
    "Explaining the frame: --depth D looks through up to D faces in a row (0 to 6, default 2,\n"
    "as the demo); --overlay views draws every view's window outline over the frame,\n"
    "coloured by depth, mirrored views dashed, with a legend; --only-view N draws only view N\n"
    "(the index of its Fill command) and what is seen through it; --list-views prints\n"
    "every view of the frame: index, kind, depth, parent, polygons, window area;\n"
    "--unmended draws the pieces as cut, without the points their neighbours made on their\n"
    "edges (the hairline cracks that mending removes).\n"
    "A frame that overflows the frame memory lacks parts of the scene: it is written with a\n"
    "warning and exit status 1, or 0 with --allow-partial.\n"
    "--backend exact|fast picks what draws (default: fast where the context allows it).\n"
    "--samples 1|2|4|8 samples per pixel, each pixel the mean of its samples (default: 4\n"
    "where the context offers them, else 1, as the demo; the exact backend draws 1).\n"
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
    VideoFormat video = VideoFormat::None;
    std::string ffmpeg;
    int depth = 2;
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
    return ::usageError("render", renderUsage, problem, argument);
}

std::string sizeText(const RenderOptions& options) {
    return std::to_string(options.width) + "x" + std::to_string(options.height);
}

std::string fpsText(double fps) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", fps);
    return text;
}

// Whether the output options fit --time-ms or --frames; 0 or the exit code.
int checkOutput(const RenderOptions& options) {
    if (options.haveTime) {
        if (options.output.empty())
            return usageError("--time-ms needs --output FILE.png", nullptr);
        if (options.video != VideoFormat::None)
            return usageError("--time-ms writes one PNG picture; --frames writes videos", nullptr);
        if (!options.outputDir.empty() || options.haveFps || options.haveStart)
            return usageError("--output-dir, --fps and --start-ms belong to --frames", nullptr);
    } else if (options.output.empty() == options.outputDir.empty()) {
        return usageError("--frames needs --output-dir DIR or --output CLIP.mp4|.webm|.gif",
                          nullptr);
    } else if (!options.output.empty() && options.video == VideoFormat::None) {
        return usageError("--frames --output needs a .mp4, .webm or .gif name",
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
    const double lastMs =
        static_cast<double>(options.startMs) +
        std::round(static_cast<double>(options.frames - 1) * 1000.0 / options.fps);
    if (options.haveFrames && lastMs > static_cast<double>(UINT32_MAX))
        return usageError("the last frame would lie beyond 4294967295 ms", nullptr);
    return 0;
}

// --samples read into options (after --backend); 0 or the exit code.
int checkSamples(bool given, const std::string& text, RenderOptions& options) {
    if (given && !parseSamples(text, options.samples))
        return usageError("--samples needs 1, 2, 4 or 8", text.c_str());
    if (options.samples > 1 && options.backend == BackendChoice::Exact)
        return usageError("--backend exact draws one sample per pixel, not", text.c_str());
    return 0;
}

// Returns 0 when the options are complete and consistent, else the exit code
// (2 after printing the usage, or -1 for --help which exits 0).
int parseOptions(int argc, char** argv, RenderOptions& options) {
    using Kind = CommandOption::Kind;
    std::uint64_t timeMs = 0, depth = 2, onlyView = 0;
    FrameSize size;
    std::string backend, camera, samples;
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
        {"--unmended", Kind::Flag, &options.unmended, nullptr},
        {"--allow-partial", Kind::Flag, &options.allowPartial, nullptr},
        {"--root", Kind::Text, &options.root, "a directory"},
        {"--output", Kind::Text, &options.output, "a file name"},
        {"--output-dir", Kind::Text, &options.outputDir, "a directory"},
        {"--backend", Kind::Text, &backend, "exact or fast"},
        {"--samples", Kind::Text, &samples, "1, 2, 4 or 8"},
        {"--camera", Kind::Text, &camera, "YAW,PITCH,DISTANCE"},
        {"--ffmpeg", Kind::Text, &options.ffmpeg, "the ffmpeg program's path"},
    };
    const int parsed = parseCommandLine("render", renderUsage, argc, argv, table);
    if (parsed != 0)
        return parsed;
    if (given(table, "--backend") && !parseBackend(backend, options.backend))
        return usageError("--backend needs exact or fast", backend.c_str());
    if (const int refused = checkSamples(given(table, "--samples"), samples, options); refused)
        return refused;
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
    options.video = videoFormatOf(options.output);
    if (options.haveTime && options.haveFrames)
        return usageError("give either --time-ms or --frames, not both", nullptr);
    if (!options.haveTime && !options.haveFrames)
        return usageError("give --time-ms T or --frames N", nullptr);
    return checkOutput(options);
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
struct Explaining {
    SubtreeBackend subtree;
    std::vector<OutlineSegment> segments;
};

int explainFrame(const RenderOptions& options, Explaining& explaining, const FrameInputs& frame) {
    const std::uint32_t timeMs = frame.timeMs;
    std::vector<OutlineSegment>& segments = explaining.segments;
    if (options.onlyView >= 0 && !explaining.subtree.found()) {
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

int fail(const std::string& problem) {
    std::fprintf(stderr, "glasswake-tool render: %s\n", problem.c_str());
    return 1;
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
    const std::filesystem::path path = std::filesystem::absolute(given, ec);
    const std::string stem = hiddenStem(path.filename().string());
    const auto ownLeftovers = [&stem](const std::string& found) { return found == stem; };
    if (options.haveTime) {
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

    void step() {
        ++done;
        if (shown) {
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
            showProgress(done, total, elapsed.count());
        }
    }
};

// Draws every step-th frame of the clip into the pipeline, until the end, a
// failure or an interruption; 0 or the exit code.
int drawFrames(const RenderOptions& options, RenderSession& session, Explaining& explaining,
               FramePipeline& pipeline, std::uint64_t step, Progress& progress) {
    for (std::uint64_t k = 0; k < options.frames && !interrupted; k += step) {
        const std::uint32_t timeMs = sequenceTime(options, k);
        session.runFrame(timeMs);
        // A palette's frames come again in the clip's pass, counted there.
        progress.overflowed += step == 1 && renderStats.frameOverflowed ? 1 : 0;
        if (explainFrame(options, explaining, session.inputsAt(timeMs)) != 0)
            return 1;
        std::uint8_t* pixels = pipeline.acquire();
        if (!pixels)
            return kEncoderFailed;
        if (!session.gl.readBgrxBottomUp(pixels))
            return fail("cannot read the frame back from OpenGL");
        pipeline.submit(k);
        progress.step();
    }
    return interrupted ? interruptedStatus() : 0;
}

std::size_t frameBytes(const RenderSession& session) {
    return static_cast<std::size_t>(session.gl.width) *
           static_cast<std::size_t>(session.gl.height) * 4;
}

std::string noMemoryText(const RenderSession& session) {
    return "no memory for the frame buffers of " + std::to_string(session.gl.width) + "x" +
           std::to_string(session.gl.height) + " frames";
}

// PNG files, written by one worker per core while the next frames are drawn.
int renderSequence(const RenderOptions& options, RenderSession& session, Explaining& explaining,
                   const Destination& destination, Progress& progress) {
    const int width = session.gl.width;
    const int height = session.gl.height;
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    FramePipeline pipeline;
    const bool started = pipeline.start(
        frameBytes(session), cores > 1 ? cores : 1, options.frames,
        [&](std::uint64_t k, const std::uint8_t* rgb, std::string& error) {
            char name[32];
            std::snprintf(name, sizeof name, "frame_%05llu.png",
                          static_cast<unsigned long long>(k));
            return writePngBgrx((destination.folder / name).string(), width, height, rgb, error);
        });
    if (!started)
        return fail(noMemoryText(session));
    const int status = drawFrames(options, session, explaining, pipeline, 1, progress);
    std::string error;
    if (!pipeline.finish(error, status != 0) && !interrupted)
        return fail(error);
    return interrupted ? interruptedStatus() : status == kEncoderFailed ? 1 : status;
}

// Why a pass whose frames did not all reach ffmpeg failed: the pipe's
// reason, and ffmpeg's status when it gave one (its own words are above).
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
    if (!pipeline.start(frameBytes(session), 1, frames,
                        [&video](std::uint64_t, const std::uint8_t* rgb, std::string& why) {
                            return video.write(rgb, why);
                        })) {
        return fail(noMemoryText(session));
    }
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
        !videoDecodes(destination.ffmpeg, file.fd(), frames, &interrupted, error)) {
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

int renderClip(const RenderOptions& options, RenderSession& session, Explaining& explaining,
               Destination& destination, Progress& progress) {
    progress.total = options.frames;
    const int status = options.video == VideoFormat::None
                           ? renderSequence(options, session, explaining, destination, progress)
                           : renderVideo(options, session, explaining, destination, progress);
    if (interrupted && status == interruptedStatus()) {
        if (progress.shown)
            std::fputc('\n', stderr);
        fail(options.video == VideoFormat::None ? "interrupted" : "interrupted; no video written");
    }
    return status;
}

int renderPicture(const RenderOptions& options, RenderSession& session, Explaining& explaining,
                  const Destination& destination, Progress& progress) {
    session.renderFrame(options.timeMs);
    progress.overflowed = renderStats.frameOverflowed ? 1 : 0;
    if (explainFrame(options, explaining, session.inputsAt(options.timeMs)) != 0)
        return 1;
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
// have shown: written, but a failure unless the user accepts them.
int reportOverflow(const RenderOptions& options, std::uint64_t overflowed, int status) {
    if (overflowed == 0 || status != 0)
        return status;
    const std::uint64_t frames = options.haveTime ? 1 : options.frames;
    std::fprintf(stderr,
                 "glasswake-tool render: warning: %llu of %llu frames overflowed the frame "
                 "memory and lack parts of the scene%s\n",
                 static_cast<unsigned long long>(overflowed),
                 static_cast<unsigned long long>(frames),
                 options.allowPartial ? "" : " (--allow-partial accepts such frames)");
    return options.allowPartial ? 0 : 1;
}

}  // namespace

int runRender(int argc, char** argv) {
    RenderOptions options;
    const int parsed = parseOptions(argc, argv, options);
    if (parsed != 0)
        return parsed == -1 ? 0 : parsed;
    if (!options.haveTime)
        catchInterrupts();  // before the partial file exists
    Destination destination;
    if (const int prepared = prepare(options, destination); prepared != 0)
        return prepared;
    RenderSession session;
    session.backend = options.backend;
    session.samples = options.samples;
    if (!session.open("render", options.root, options.width, options.height))
        return 1;
    session.depth = options.depth;
    session.camera = options.camera;
    frameMending = !options.unmended;
    Explaining explaining;
    if (options.onlyView >= 0) {
        if (!explaining.subtree.select(sceneBackend, options.onlyView, frameRecord.capacity)) {
            session.finish();
            return fail("no memory for a copy of the record");
        }
        sceneBackend = &explaining.subtree;
    }
    if (options.overlay)
        explaining.segments.reserve(1 << 20);
    Progress progress;
    int status = options.haveTime
                     ? renderPicture(options, session, explaining, destination, progress)
                     : renderClip(options, session, explaining, destination, progress);
    status = reportOverflow(options, progress.overflowed, status);
    session.finish();
    return status;
}
