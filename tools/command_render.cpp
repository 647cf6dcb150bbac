// glasswake-tool render: pictures of the demo's frames without a display.

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tools/commands.h"
#include "tools/png_writer.h"
#include "tools/render_session.h"

namespace {

const char* const renderUsage =
    "usage: glasswake-tool render --time-ms T [--size WxH] [--root DIR] --output FILE.png\n"
    "       glasswake-tool render --frames N [--fps F] [--start-ms T0] [--size WxH] [--root DIR]\n"
    "                             --output-dir DIR\n"
    "Draws the demo's frame at time T ms (or N frames at T0 + k*1000/F ms, F default 30,\n"
    "T0 default 0) into a WxH picture (default 640x480), reading data/ under DIR\n"
    "(default: the current directory). The sequence is written as DIR/frame_00000.png, ...\n";

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
    std::string root = ".";
    std::string output;
    std::string outputDir;
};

int usageError(const char* problem, const char* argument) {
    return ::usageError("render", renderUsage, problem, argument);
}

// Returns 0 when the options are complete and consistent, else the exit code
// (2 after printing the usage, or -1 for --help which exits 0).
int parseOptions(int argc, char** argv, RenderOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const char* flag = argv[i];
        if (std::strcmp(flag, "--help") == 0 || std::strcmp(flag, "-h") == 0) {
            std::fputs(renderUsage, stdout);
            return -1;
        }
        if (i + 1 >= argc)
            return usageError("missing value after", flag);
        const char* value = argv[++i];
        std::uint64_t number = 0;
        if (std::strcmp(flag, "--time-ms") == 0) {
            if (!parseCount(value, UINT32_MAX, number)) {
                return usageError("--time-ms needs a whole number of milliseconds", value);
            }
            options.haveTime = true;
            options.timeMs = static_cast<std::uint32_t>(number);
        } else if (std::strcmp(flag, "--frames") == 0) {
            if (!parseCount(value, 10000000, number) || number == 0) {
                return usageError("--frames needs a frame count from 1 to 10000000", value);
            }
            options.haveFrames = true;
            options.frames = number;
        } else if (std::strcmp(flag, "--fps") == 0) {
            if (!parsePositive(value, 1000.0, options.fps)) {
                return usageError("--fps needs a rate above 0 and at most 1000", value);
            }
            options.haveFps = true;
        } else if (std::strcmp(flag, "--start-ms") == 0) {
            if (!parseCount(value, UINT32_MAX, number)) {
                return usageError("--start-ms needs a whole number of milliseconds", value);
            }
            options.haveStart = true;
            options.startMs = number;
        } else if (std::strcmp(flag, "--size") == 0) {
            if (!parseFrameSize(value, options.width, options.height)) {
                return usageError("--size needs WxH with sides from 1 to 16384", value);
            }
        } else if (std::strcmp(flag, "--root") == 0) {
            if (!*value)
                return usageError("--root needs a directory", nullptr);
            options.root = value;
        } else if (std::strcmp(flag, "--output") == 0) {
            if (!*value)
                return usageError("--output needs a file name", nullptr);
            options.output = value;
        } else if (std::strcmp(flag, "--output-dir") == 0) {
            if (!*value)
                return usageError("--output-dir needs a directory", nullptr);
            options.outputDir = value;
        } else {
            return usageError("unknown option", flag);
        }
    }
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
    if (!session.open("render", options.root, options.width, options.height)) {
        return 1;
    }
    int status = 0;
    if (options.haveTime) {
        session.renderFrame(options.timeMs);
        status = writeFrame(session, output.string());
    } else {
        const bool progress = isatty(STDERR_FILENO) != 0;
        const auto begin = std::chrono::steady_clock::now();
        for (std::uint64_t k = 0; k < options.frames && status == 0; ++k) {
            session.renderFrame(sequenceTime(options, k));
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
