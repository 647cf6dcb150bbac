#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "app/viewer.h"
#include "scene/scene.h"

// The page's URL parameters, read from the program's arguments ("name=value"
// each). A parameter whose value does not parse in full is ignored as a whole;
// of one given twice, the last that parses holds (as the page's script reads it).
//   t=MS               opens paused at that time of the clock
//   depth=D            faces seen through in a row, 0 to kMaxViewerDepth
//   size=WxH           a fixed drawing size, sides 1 to kMaxCanvasSide
//   cam=YAW,PITCH,DIST opens paused, looking from that camera
//   views=1            the views' outlines on (key V)
//   aa=0|1             edges smoothed with the demo's samples per pixel (key M; default 1)
//   controls=0         no control bar (for embedding); keys and drags still work;
//                      controls=1 shows it
struct PageOptions {
    std::optional<std::uint32_t> clockMs;
    int depth = -1;  // -1: the demo's
    int width = 0;   // 0: the canvas follows the window
    int height = 0;
    std::optional<Camera> camera;
    bool overlay = false;
    bool smooth = true;
    bool controls = true;
};

// A drawing size from the URL is held to this many pixels a side.
constexpr int kMaxCanvasSide = 8192;

PageOptions parsePageArguments(int argc, char** argv);

// The query ("?...") that opens exactly the picture these options describe;
// the camera goes in at two decimals, so the page should look from
// shareableCamera(camera) when it gives the link. False if out does not hold it.
bool formatPageQuery(const PageOptions& options, char* out, std::size_t size);
Camera shareableCamera(const Camera& camera);
