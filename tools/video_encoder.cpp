#include "tools/video_encoder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

namespace {

bool runnable(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

// bt709 throughout: the conversion matrix, and tags that say so, which
// players otherwise guess from the frame height.
const char* const kBt709Chain = "vflip,scale=out_color_matrix=bt709:out_range=tv,format=yuv420p";

const char* const kGifDither = "paletteuse=dither=bayer:bayer_scale=3:diff_mode=rectangle";

// What follows the input for each format: the filter chain, the codec and
// the container (named, since the partial file's name has no extension).
std::vector<std::string> formatArguments(VideoFormat format, const std::string& palette) {
    const std::vector<std::string> tags = {"-colorspace", "bt709", "-color_primaries", "bt709",
                                           "-color_trc",  "bt709", "-color_range",     "tv"};
    std::vector<std::string> arguments;
    switch (format) {
        case VideoFormat::Mp4:
            // veryfast: a third of the default preset's time at the same quality setting.
            arguments = {"-vf",     kBt709Chain, "-c:v", "libx264",
                         "-preset", "veryfast",  "-crf", "18"};
            arguments.insert(arguments.end(), tags.begin(), tags.end());
            arguments.insert(arguments.end(), {"-movflags", "+faststart", "-f", "mp4"});
            break;
        case VideoFormat::Webm:
            // VP9's realtime mode: its default takes seconds a frame at 1080p.
            arguments = {"-vf", kBt709Chain, "-c:v",     "libvpx-vp9", "-crf", "32",      "-b:v",
                         "0",   "-deadline", "realtime", "-cpu-used",  "8",    "-row-mt", "1"};
            arguments.insert(arguments.end(), tags.begin(), tags.end());
            arguments.insert(arguments.end(), {"-f", "webm"});
            break;
        case VideoFormat::GifPalette:
            arguments = {"-vf", "palettegen", "-frames:v", "1", "-c:v", "png", "-f", "image2"};
            break;
        case VideoFormat::Gif:
            // Ordered dithering keeps still parts identical from frame to
            // frame, so only the changed rectangle is stored again: a
            // fraction of the size and time of error diffusion.
            arguments = {
                "-i",    palette, "-lavfi", std::string("[0:v]vflip[v];[v][1:v]") + kGifDither,
                "-loop", "0",     "-f",     "gif"};
            break;
        case VideoFormat::None:
            break;
    }
    return arguments;
}

}  // namespace

VideoFormat videoFormatOf(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return VideoFormat::None;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension == "mp4"    ? VideoFormat::Mp4
           : extension == "webm" ? VideoFormat::Webm
           : extension == "gif"  ? VideoFormat::Gif
                                 : VideoFormat::None;
}

std::string findFfmpeg(const std::string& given, std::string& error) {
    const std::string name = given.empty() ? "ffmpeg" : given;
    if (name.find('/') != std::string::npos) {
        if (runnable(name))
            return name;
        error = name + ": not an ffmpeg that can be run";
        return {};
    }
    const char* path = std::getenv("PATH");
    for (const char* at = path ? path : ""; *at;) {
        const char* end = std::strchr(at, ':');
        const std::string folder(at, end ? static_cast<std::size_t>(end - at) : std::strlen(at));
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (runnable(candidate))
            return candidate;
        at = end ? end + 1 : at + std::strlen(at);
    }
    error = "video output needs ffmpeg, and there is no " + name +
            " on PATH; install it (e.g. apt-get install ffmpeg) or give --ffmpeg PATH";
    return {};
}

bool VideoEncoder::start(const std::string& ffmpeg, VideoFormat format, int frameWidth,
                         int frameHeight, double fps, const std::string& file,
                         const std::string& palette, std::string& error) {
    width = frameWidth;
    height = frameHeight;
    char size[32];
    char rate[32];
    std::snprintf(size, sizeof size, "%dx%d", width, height);
    std::snprintf(rate, sizeof rate, "%.17g", fps);
    std::vector<std::string> arguments = {
        ffmpeg,     "-hide_banner", "-loglevel", "error", "-nostats",   "-y", "-f", "rawvideo",
        "-pix_fmt", "bgr0",         "-s",        size,    "-framerate", rate, "-i", "pipe:0"};
    const std::vector<std::string> output = formatArguments(format, palette);
    arguments.insert(arguments.end(), output.begin(), output.end());
    arguments.push_back(file);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        error = std::string("no pipe to ffmpeg: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[0], STDIN_FILENO);
    const int spawned = posix_spawn(&pid, ffmpeg.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[0]);
    if (spawned != 0) {
        close(ends[1]);
        pid = -1;
        error = ffmpeg + ": " + std::strerror(spawned);
        return false;
    }
    pipe = ends[1];
    return true;
}

bool VideoEncoder::write(const std::uint8_t* rgb, std::string& error) {
    std::size_t left = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    while (left > 0) {
        const ssize_t written = ::write(pipe, rgb, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = "ffmpeg stopped taking frames";
            return false;
        }
        rgb += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

bool VideoEncoder::finish(bool stop, std::string& error) {
    if (pipe >= 0)
        close(pipe);
    pipe = -1;
    if (pid < 0)
        return false;
    if (stop)
        kill(pid, SIGTERM);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return !stop;
    char reason[96];
    if (WIFEXITED(status)) {
        std::snprintf(reason, sizeof reason, "ffmpeg failed (exit status %d)", WEXITSTATUS(status));
    } else {
        std::snprintf(reason, sizeof reason, "ffmpeg ended by signal %d", WTERMSIG(status));
    }
    error = reason;
    return false;
}
