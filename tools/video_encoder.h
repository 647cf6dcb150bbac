#pragma once

#include <sys/types.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>

// Video files from the tool's frames: raw RGB frames piped into an ffmpeg
// process, found on PATH or given by path. No codec is linked in.

enum class VideoFormat {
    None,
    Mp4,
    Webm,
    Gif,
    GifPalette  // a GIF's first pass: the palette of the frames sent, as a PNG
};

// From the output name's extension (any case); None for anything else.
VideoFormat videoFormatOf(const std::string& path);

// The highest rate a GIF plays at as asked: its frame delays are whole
// hundredths of a second, and players stretch shorter delays than two.
constexpr double kMaxGifFps = 50.0;

// The ffmpeg to run: `given` as is when it names a path (holds a '/'), else
// looked up on PATH ("ffmpeg" by default). Empty with a reason if none runs.
std::string findFfmpeg(const std::string& given, std::string& error);

// How long ffmpeg has to quit when told to, before it is killed.
constexpr int kFfmpegQuitMs = 3000;

struct VideoEncoder {
    pid_t pid = -1;
    int pipe = -1;
    int log = -1;  // ffmpeg's standard error, kept until it is known to matter
    int width = 0;
    int height = 0;
    // Set (by a signal handler) to give up waiting on ffmpeg.
    const volatile std::sig_atomic_t* cancelled = nullptr;

    VideoEncoder() = default;
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;
    ~VideoEncoder();

    // Starts ffmpeg writing `format` into the open file `output` (it never
    // opens the file by name): width x height frames at `fps`, each sent as GL
    // reads it back fastest (BGRX, bottom row first). A GIF uses the palette
    // its first pass wrote.
    bool start(const std::string& ffmpeg, VideoFormat format, int frameWidth, int frameHeight,
               double fps, int output, const std::string& palette, std::string& error);
    // One frame as HeadlessGl::readBgrxBottomUp gives it; false once ffmpeg
    // stopped reading, or took nothing for a minute, or on `cancelled`.
    bool write(const std::uint8_t* rgb, std::string& error);
    // Ends the stream and waits for ffmpeg: false unless it says it finished
    // the file, with ffmpeg's own last words in `error` (they reach the
    // terminal only through it). After `stop`, ffmpeg is told to quit rather than to finish
    // the file, and killed when it does not within kFfmpegQuitMs.
    bool finish(bool stop, std::string& error);
};

// Whether the video in the open file `video` reads back whole, read by
// `ffmpeg`: `frames` frames' packets, each whole, no error. ffmpeg's status
// alone does not tell: it reports success after a write failed (a full disk
// cuts the file short).
bool videoReadsBack(const std::string& ffmpeg, int video, std::uint64_t frames,
                    const volatile std::sig_atomic_t* cancelled, std::string& error);
