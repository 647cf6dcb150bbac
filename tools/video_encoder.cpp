#include "tools/video_encoder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
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

namespace {

// How long ffmpeg may take no frame data before it counts as hung.
constexpr int kStallMs = 60000;
constexpr int kPollMs = 50;

bool isCancelled(const volatile std::sig_atomic_t* cancelled) {
    return cancelled && *cancelled;
}

// Runs ffmpeg with `arguments` (its path first): stdin from `input` (-1:
// /dev/null), stdout to `output` (-1: the tool's), and `file` as its
// descriptor 3, which the arguments name as "/dev/fd/3". -1 on failure.
// ffmpeg's standard error goes into memory (`log`), not onto the terminal: it
// would share the progress bar's line, and after Ctrl+C (which reaches ffmpeg
// too) it is only noise. A failure's message then carries its last words.
pid_t spawnFfmpeg(std::vector<std::string> arguments, int input, int output, int file, int log,
                  std::string& error) {
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0)
        posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (output >= 0)
        posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, file, 3);
    if (log >= 0)
        posix_spawn_file_actions_adddup2(&actions, log, STDERR_FILENO);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        error = arguments[0] + ": " + std::strerror(spawned);
        return -1;
    }
    return pid;
}

// Waits for `pid` to end and returns its wait status. Once `stop` is asked,
// or `cancelled` is set, it is told to quit, and killed kFfmpegQuitMs later.
int waitForChild(pid_t pid, bool stop, const volatile std::sig_atomic_t* cancelled) {
    int status = 0;
    int quitMs = -1;  // since the child was told to quit
    for (;;) {
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid || (ended < 0 && errno != EINTR))
            return status;
        if (quitMs < 0 && (stop || isCancelled(cancelled))) {
            kill(pid, SIGTERM);
            quitMs = 0;
        }
        if (quitMs >= kFfmpegQuitMs) {
            kill(pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return status;
        }
        usleep(kPollMs * 1000 / 5);
        quitMs += quitMs >= 0 ? kPollMs / 5 : 0;
    }
}

// The end of what ffmpeg wrote into `log` (its last 4 KiB at most), without
// the final line break; the log is closed.
std::string lastWords(int& log) {
    std::string text;
    const off_t size = log >= 0 ? lseek(log, 0, SEEK_END) : 0;
    if (size > 0) {
        const off_t from = size > 4096 ? size - 4096 : 0;
        text.resize(static_cast<std::size_t>(size - from));
        const ssize_t got = pread(log, text.data(), text.size(), from);
        text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (log >= 0)
        close(log);
    log = -1;
    return text;
}

std::string endedText(int status) {
    char reason[96];
    if (WIFEXITED(status)) {
        std::snprintf(reason, sizeof reason, "ffmpeg failed (exit status %d)", WEXITSTATUS(status));
    } else {
        std::snprintf(reason, sizeof reason, "ffmpeg ended by signal %d", WTERMSIG(status));
    }
    return reason;
}

}  // namespace

VideoEncoder::~VideoEncoder() {
    std::string ignored;
    finish(true, ignored);
}

bool VideoEncoder::start(const std::string& ffmpeg, VideoFormat format, int frameWidth,
                         int frameHeight, double fps, int output, const std::string& palette,
                         std::string& error) {
    width = frameWidth;
    height = frameHeight;
    char size[32];
    char rate[32];
    std::snprintf(size, sizeof size, "%dx%d", width, height);
    std::snprintf(rate, sizeof rate, "%.17g", fps);
    std::vector<std::string> arguments = {
        ffmpeg,     "-hide_banner", "-loglevel", "error", "-nostats",   "-y", "-f", "rawvideo",
        "-pix_fmt", "bgr0",         "-s",        size,    "-framerate", rate, "-i", "pipe:0"};
    const std::vector<std::string> tail = formatArguments(format, palette);
    arguments.insert(arguments.end(), tail.begin(), tail.end());
    arguments.push_back("/dev/fd/3");

    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        error = std::string("no pipe to ffmpeg: ") + std::strerror(errno);
        return false;
    }
    log = memfd_create("ffmpeg-log", MFD_CLOEXEC);
    pid = spawnFfmpeg(arguments, ends[0], -1, output, log, error);
    close(ends[0]);
    if (pid < 0) {
        close(ends[1]);
        lastWords(log);
        return false;
    }
    // Written with a deadline: an ffmpeg that stops reading must not hang the tool.
    fcntl(ends[1], F_SETFL, fcntl(ends[1], F_GETFL) | O_NONBLOCK);
    pipe = ends[1];
    return true;
}

bool VideoEncoder::write(const std::uint8_t* rgb, std::string& error) {
    std::size_t left = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    int stalledMs = 0;
    while (left > 0) {
        const ssize_t written = ::write(pipe, rgb, left);
        if (written > 0) {
            rgb += written;
            left -= static_cast<std::size_t>(written);
            stalledMs = 0;
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) {
            error = "ffmpeg stopped taking frames";
            return false;
        }
        if (isCancelled(cancelled)) {
            error = "interrupted";
            return false;
        }
        if (stalledMs >= kStallMs) {
            error = "ffmpeg took no frame data for " + std::to_string(kStallMs / 1000) + " s";
            return false;
        }
        pollfd ready = {pipe, POLLOUT, 0};
        poll(&ready, 1, kPollMs);
        stalledMs += kPollMs;
    }
    return true;
}

bool VideoEncoder::finish(bool stop, std::string& error) {
    if (pipe >= 0)
        close(pipe);
    pipe = -1;
    if (pid < 0)
        return false;
    const int status = waitForChild(pid, stop, cancelled);
    pid = -1;
    const std::string said = lastWords(log);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return !stop;
    error = endedText(status) + (said.empty() ? "" : ":\n" + said);
    return false;
}

bool videoReadsBack(const std::string& ffmpeg, int video, std::uint64_t frames,
                    const volatile std::sig_atomic_t* cancelled, std::string& error) {
    // One line per frame's packet, copied, not decoded (decoding costs a
    // sixth of the encoding's time); the codec's parser still checks each
    // packet whole, and -xerror turns a damaged one into a failure.
    const std::vector<std::string> arguments = {
        ffmpeg, "-hide_banner", "-nostdin", "-loglevel", "error", "-xerror",  "-i", "/dev/fd/3",
        "-map", "0:v:0",        "-c",       "copy",      "-f",    "framecrc", "-"};
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        error = std::string("no pipe from ffmpeg: ") + std::strerror(errno);
        return false;
    }
    int log = memfd_create("ffmpeg-log", MFD_CLOEXEC);
    const pid_t pid = spawnFfmpeg(arguments, -1, ends[1], video, log, error);
    close(ends[1]);
    if (pid < 0) {
        close(ends[0]);
        lastWords(log);
        return false;
    }
    std::uint64_t packets = 0;
    bool lineStart = true;
    char buffer[4096];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR && !isCancelled(cancelled))
            continue;
        if (got < 0)
            break;
        for (ssize_t i = 0; i < got; ++i) {
            packets += lineStart && buffer[i] != '#' ? 1 : 0;
            lineStart = buffer[i] == '\n';
        }
    }
    close(ends[0]);
    const int status = waitForChild(pid, false, cancelled);
    const std::string said = lastWords(log);
    if (isCancelled(cancelled)) {
        error = "interrupted";
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || packets != frames) {
        error = "ffmpeg reported success, but the video it wrote does not read back whole (" +
                std::to_string(packets) + " of " + std::to_string(frames) +
                " frames read back; is the disk full?)" + (said.empty() ? "" : ":\n" + said);
        return false;
    }
    return true;
}
