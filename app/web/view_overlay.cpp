#include "app/web/view_overlay.h"

#include <GLES2/gl2.h>
#include <emscripten/html5.h>

#include "render/backends/shader_program.h"
#include "render/render_backend.h"

namespace {

// Enough for the deepest budget the page offers; more are left out.
constexpr std::size_t kMaxSegments = 1 << 16;

constexpr const char* kVertexShader = R"(
attribute vec2 position;
attribute vec3 color;
uniform vec2 scale;
varying vec3 lineColor;
void main() {
    lineColor = color;
    gl_Position = vec4(position * scale, 0.0, 1.0);
}
)";

constexpr const char* kFragmentShader = R"(
varying vec3 lineColor;
void main() {
    gl_FragColor = vec4(lineColor, 1.0);
}
)";

}  // namespace

bool WebViewOverlay::create() {
    destroy();
    program_ = linkShaderProgram(kVertexShader, kFragmentShader, {"position", "color"},
                                 kWebGlFragmentPreamble);
    if (program_ == 0) {
        return false;
    }
    scaleLocation_ = glGetUniformLocation(program_, "scale");
    glGenBuffers(1, &buffer_);
    segments_.reserve(kMaxSegments);
    vertices_.reserve(kMaxSegments * 10);
    return true;
}

void WebViewOverlay::destroy() {
    // Without a context the objects went with it: only forget them.
    if (program_ != 0 && emscripten_webgl_get_current_context() != 0) {
        glDeleteBuffers(1, &buffer_);
        glDeleteProgram(program_);
    }
    program_ = 0;
    buffer_ = 0;
}

void WebViewOverlay::draw(const FrameRecord& record, float aspect) {
    if (program_ == 0) {
        return;
    }
    segments_.clear();
    const CommandRange all = viewSubtree(record, -1);
    appendViewOutlines(record, all, segments_);
    appendOutlineLegend(aspect, deepestView(record, all), segments_);
    vertices_.clear();
    for (const OutlineSegment& s : segments_) {
        for (const Point2& end : {s.from, s.to}) {
            vertices_.insert(vertices_.end(), {end.x, end.y, s.color.r, s.color.g, s.color.b});
        }
    }
    glUseProgram(program_);
    const Point2 scale = clipScale(aspect);
    glUniform2f(scaleLocation_, scale.x, scale.y);
    glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices_.size() * sizeof(float)),
                 vertices_.data(), GL_STREAM_DRAW);
    const GLsizei stride = 5 * sizeof(float);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(2 * sizeof(float)));
    glDisable(GL_BLEND);
    glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(segments_.size() * 2));
    glDisableVertexAttribArray(1);
    glEnable(GL_BLEND);
}
