#pragma once

#include <vector>

#include "render/view_outlines.h"

// Opaque one-pixel lines over what is in the framebuffer, in window
// coordinates of a frame with this aspect ratio (the views' outlines of
// `glasswake-tool render --overlay views` and the demo's key V). Blending
// and texturing are off for the lines and restored after, so the next frame
// starts as usual.
void drawOutlineSegments(const std::vector<OutlineSegment>& segments, float aspect);
