#include "render/backends/webgl_backend.h"

#include <GLES2/gl2.h>
#include <emscripten/html5.h>

#include <new>
#include <vector>

#include "render/backends/environment_texture.h"
#include "render/backends/shader_program.h"
#include "render/backends/webgl_mipmaps.h"
#include "render/pass_plan.h"

namespace {

// Enough for any one polygon the frame arena can hold; a record with more
// vertices is drawn in several uploads.
constexpr std::int32_t kStagingVertices = 1 << 17;
// Fans in one upload: three vertices at least each.
constexpr std::int32_t kStagedFans = kStagingVertices / 3;

// The window coordinates become clip space in the vertex shader, where the
// environment's texture coordinates are also made (see textureCoord).
constexpr const char* kVertexShader = R"(
attribute vec2 position;
uniform vec2 scale;
uniform float offset;
uniform float textureScale;
varying vec2 textureCoord;
void main() {
    textureCoord = (vec2(offset) + position) * textureScale;
    gl_Position = vec4(position * scale, 0.0, 1.0);
}
)";

// tint + texel x environment colour: a fill sets only the tint, the
// environment only its colour. The blend adds the result weighted by alpha.
constexpr const char* kFragmentShader = R"(
uniform vec4 tint;
uniform vec4 environmentColor;
uniform sampler2D environment;
varying vec2 textureCoord;
void main() {
    gl_FragColor = tint + texture2D(environment, textureCoord) * environmentColor;
}
)";

GLuint linkProgram() {
    return linkShaderProgram(kVertexShader, kFragmentShader, {"position"}, kWebGlFragmentPreamble);
}

}  // namespace

WebGlBackend::~WebGlBackend() {
    destroy();
}

bool WebGlBackend::create(const Image& picture) {
    destroy();
    program_ = linkProgram();
    if (program_ == 0) {
        return false;
    }
    scaleLocation_ = glGetUniformLocation(program_, "scale");
    offsetLocation_ = glGetUniformLocation(program_, "offset");
    textureScaleLocation_ = glGetUniformLocation(program_, "textureScale");
    tintLocation_ = glGetUniformLocation(program_, "tint");
    environmentColorLocation_ = glGetUniformLocation(program_, "environmentColor");

    staging_ = new (std::nothrow) float[static_cast<std::size_t>(kStagingVertices) * 2];
    fans_ = new (std::nothrow) StagedFan[static_cast<std::size_t>(kStagedFans)];
    if (staging_ == nullptr || fans_ == nullptr) {
        destroy();
        return false;
    }
    stagingCapacity_ = kStagingVertices;
    fanCapacity_ = kStagedFans;
    glGenBuffers(1, &vertexBuffer_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(kStagingVertices) * 2 * sizeof(float),
                 nullptr, GL_DYNAMIC_DRAW);
    if (!createTexture(picture)) {
        destroy();
        return false;
    }
    glDisable(GL_DEPTH_TEST);
    return true;
}

bool WebGlBackend::createTexture(const Image& picture) {
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    setEnvironmentTextureParameters();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);

    GLenum format = GL_RGB;
    std::uint32_t components = 0;
    switch (picture.bitsPerPixel) {
        case 8:
            format = GL_LUMINANCE;
            components = 1;
            break;
        case 24:
            format = GL_RGB;
            components = 3;
            break;
        case 32:
            format = GL_RGBA;
            components = 4;
            break;
        default:
            break;
    }
    onePass_ = isOpaquePicture(picture);
    GLint maxSide = 64;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    std::vector<MipmapLevel> levels;
    if (components == 0 || !buildMipmaps(picture.pixels, picture.width, picture.height, components,
                                         static_cast<std::uint32_t>(maxSide), levels)) {
        uploadBlackTexel();
        return true;
    }
    for (std::size_t level = 0; level < levels.size(); ++level) {
        glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), static_cast<GLint>(format),
                     static_cast<GLsizei>(levels[level].width),
                     static_cast<GLsizei>(levels[level].height), 0, format, GL_UNSIGNED_BYTE,
                     levels[level].pixels.data());
    }
    return glGetError() != GL_OUT_OF_MEMORY;
}

void WebGlBackend::destroy() {
    // Without a context the objects went with it: only forget them.
    if (emscripten_webgl_get_current_context() != 0) {
        glDeleteTextures(1, &texture_);
        glDeleteBuffers(1, &vertexBuffer_);
        glDeleteProgram(program_);
    }
    texture_ = 0;
    vertexBuffer_ = 0;
    program_ = 0;
    delete[] staging_;
    staging_ = nullptr;
    stagingCapacity_ = 0;
    delete[] fans_;
    fans_ = nullptr;
    fanCapacity_ = 0;
}

void WebGlBackend::beginFrame(float aspect) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (program_ == 0) {
        return;
    }
    glUseProgram(program_);
    const Point2 scale = clipScale(aspect);
    glUniform2f(scaleLocation_, scale.x, scale.y);
    glUniform1f(textureScaleLocation_, kTextureScale);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glEnable(GL_BLEND);
    blending_ = true;
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
}

// Uploads the staged vertices and draws their fans, in plan order, each pass
// with its colours. A pass that no other touches is written rather than
// blended: cheaper per pixel.
void WebGlBackend::flush(const PassPlan& plan) {
    if (fanCount_ == 0) {
        return;
    }
    glBufferSubData(GL_ARRAY_BUFFER, 0,
                    static_cast<GLsizeiptr>(stagedVertices_) * 2 * sizeof(float), staging_);
    // Blended coverage is signed, as in the fast backend: the triangles that
    // face as drawn are added, then those that turned over once snapped are
    // subtracted. Written passes are drawn once, whole.
    glFrontFace(GL_CW);  // polygons are wound clockwise
    for (const GLenum culled : {GL_BACK, GL_FRONT}) {
        glCullFace(culled);
        glBlendEquation(culled == GL_BACK ? GL_FUNC_ADD : GL_FUNC_REVERSE_SUBTRACT);
        setCulling(blending_);
        std::int32_t first = 0;
        std::int32_t colorsOf = -1;
        for (std::int32_t f = 0; f < fanCount_; ++f) {
            const PlannedPass& pass = plan.passes[fans_[f].pass];
            if (pass.blended || culled == GL_BACK) {
                if (fans_[f].pass != colorsOf) {
                    colorsOf = fans_[f].pass;
                    setColors(pass);
                }
                glDrawArrays(GL_TRIANGLE_FAN, first, fans_[f].size);
            }
            first += fans_[f].size;
        }
    }
    glBlendEquation(GL_FUNC_ADD);
    setCulling(false);
    stagedVertices_ = 0;
    fanCount_ = 0;
}

// Only blended fans are culled: a written one is drawn whole, once.
void WebGlBackend::setCulling(bool on) {
    if (on) {
        glEnable(GL_CULL_FACE);
    } else {
        glDisable(GL_CULL_FACE);
    }
}

// The shader adds tint + texel x environment colour (see PassColors).
void WebGlBackend::setColors(const PlannedPass& planned) {
    const PassColors& pass = planned.colors;
    if (planned.blended != blending_) {
        blending_ = planned.blended;
        if (blending_) {
            glEnable(GL_BLEND);
        } else {
            glDisable(GL_BLEND);
        }
        setCulling(blending_);
    }
    const Rgba& t = pass.tint;
    const Rgba& e = pass.environment;
    glUniform4f(tintLocation_, t.c[0], t.c[1], t.c[2], t.c[3]);
    glUniform4f(environmentColorLocation_, e.c[0], e.c[1], e.c[2], e.c[3]);
    if (pass.textured) {
        glUniform1f(offsetLocation_, pass.textureOffset);
    }
}

// The plan in one sweep: every fan is staged, and the staged ones drawn
// whenever the next would not fit.
void WebGlBackend::drawRecord(const FrameRecord& record, const PassPlan& plan) {
    if (program_ == 0) {
        return;
    }
    stagedVertices_ = 0;
    fanCount_ = 0;
    for (std::int32_t p = 0; p < plan.count; ++p) {
        for (const Polygon* polygon = record.commands[plan.passes[p].command].polygons; polygon;
             polygon = polygon->next) {
            const Fan fan(*polygon);
            const std::int32_t size = fan.size();
            if (size <= 0 || size > stagingCapacity_) {
                continue;  // nothing to draw, or more than any upload holds
            }
            if (stagedVertices_ + size > stagingCapacity_ || fanCount_ == fanCapacity_) {
                flush(plan);
            }
            float* out = staging_ + static_cast<std::size_t>(stagedVertices_) * 2;
            for (std::int32_t i = 0; i < size; ++i) {
                *out++ = fan[i].x;
                *out++ = fan[i].y;
            }
            stagedVertices_ += size;
            fans_[fanCount_++] = StagedFan{p, size};
        }
    }
    flush(plan);
}
