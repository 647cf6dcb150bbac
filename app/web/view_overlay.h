#pragma once

#include <cstdint>
#include <vector>

#include "render/frame_record.h"
#include "render/view_outlines.h"

// The page's view overlay (key V): every view's window outline drawn with
// WebGL lines over the frame just drawn, as `glasswake-tool render --overlay
// views` does on the desktop. Its own small program and buffer; the backend
// sets its own state again at the start of each frame.
class WebViewOverlay {
public:
    WebViewOverlay() = default;
    ~WebViewOverlay() { destroy(); }
    WebViewOverlay(const WebViewOverlay&) = delete;
    WebViewOverlay& operator=(const WebViewOverlay&) = delete;

    // With the context current; false when the lines cannot be drawn.
    bool create();
    void destroy();
    // After the frame, while the record is still the frame's own.
    void draw(const FrameRecord& record, float aspect);

private:
    std::uint32_t program_ = 0;
    std::uint32_t buffer_ = 0;
    std::int32_t scaleLocation_ = -1;
    // Reserved in create, so a frame with the overlay allocates nothing.
    std::vector<OutlineSegment> segments_;
    std::vector<float> vertices_;  // x, y, r, g, b per line end
};
