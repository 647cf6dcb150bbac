#pragma once

#include <sys/types.h>

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

// The ffmpeg to run: `given` as is when it names a path (holds a '/'), else
// looked up on PATH ("ffmpeg" by default). Empty with a reason if none runs.
std::string findFfmpeg(const std::string& given, std::string& error);

struct VideoEncoder {
    pid_t pid = -1;
    int pipe = -1;
    int width = 0;
    int height = 0;

    // Starts ffmpeg writing `format` to `file`: width x height frames at
    // `fps`, each sent as GL reads it back fastest (BGRX, bottom row first). A GIF uses
    // the palette its first pass wrote.
    bool start(const std::string& ffmpeg, VideoFormat format, int frameWidth, int frameHeight,
               double fps, const std::string& file, const std::string& palette, std::string& error);
    // One frame as HeadlessGl::readBgrxBottomUp gives it; false once ffmpeg
    // stopped reading.
    bool write(const std::uint8_t* rgb, std::string& error);
    // Ends the stream and waits for ffmpeg: false unless the file is complete.
    // After `stop`, ffmpeg is told to quit rather than to finish the file.
    bool finish(bool stop, std::string& error);
};
