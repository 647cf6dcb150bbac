#include "render/backends/fast_backend.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#define GL_GLEXT_PROTOTYPES 1
#include "render/backends/exact_backend.h"
#include "render/backends/gl.h"
#include "render/backends/shader_program.h"
#include "render/pass_plan.h"

namespace {

// The fixed-function texel times colour, plus the secondary colour: with a
// secondary colour of 0 this is the exact backend's environment to the bit.
// A merged pass passes its environment colour times its alpha with alpha 1
// and its summed tints as the secondary colour, which the blend
// (GL_SRC_ALPHA, GL_ONE) then adds as they are.
const char* const kVertexShader =
    "#version 110\n"
    "void main() {\n"
    "    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;\n"
    "    gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "    gl_FrontColor = gl_Color;\n"
    "    gl_FrontSecondaryColor = gl_SecondaryColor;\n"
    "}\n";
const char* const kFragmentShader =
    "#version 110\n"
    "uniform sampler2D picture;\n"
    "void main() {\n"
    "    vec4 texel = texture2D(picture, gl_TexCoord[0].st);\n"
    "    gl_FragColor = texel * gl_Color + vec4(gl_SecondaryColor.rgb, 0.0);\n"
    "}\n";

// "major.minor..." of GL_VERSION; 0 when unreadable.
int glVersion() {
    const char* text = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0;
    int minor = 0;
    if (!text || std::sscanf(text, "%d.%d", &major, &minor) != 2) {
        return 0;
    }
    return major * 10 + minor;
}

GLuint buildProgram() {
    const GLuint program = linkShaderProgram(kVertexShader, kFragmentShader, {});
    if (program) {
        glUseProgram(program);
        glUniform1i(glGetUniformLocation(program, "picture"), 0);
        glUseProgram(0);
    }
    return program;
}

}  // namespace

bool FastBackend::create(const Image& picture) {
    destroy();
    if (glVersion() < 20) {
        return false;
    }
    program_ = buildProgram();
    if (!program_) {
        return false;
    }
    vertices_.reset(new (std::nothrow) Vertex[std::size_t(chunkVertices_)]);
    texturedIndices_.reset(new (std::nothrow) std::uint16_t[3 * std::size_t(chunkVertices_)]);
    flatIndices_.reset(new (std::nothrow) std::uint16_t[3 * std::size_t(chunkVertices_)]);
    if (!vertices_ || !texturedIndices_ || !flatIndices_ ||
        !environment_.create(picture, nullptr)) {
        destroy();
        return false;
    }
    GLint width = 0;
    GLint height = 0;
    environment_.bind();
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    textureSide_ = std::max(width, height);
    oneTintedPass_ = isOpaquePicture(picture);
    minFilter_ = GL_LINEAR_MIPMAP_NEAREST;
    glShadeModel(GL_FLAT);
    glDisable(GL_DEPTH_TEST);
    return true;
}

void FastBackend::destroy() {
    environment_.destroy();
    if (program_) {
        glDeleteProgram(program_);
        program_ = 0;
    }
    vertices_.reset();
    texturedIndices_.reset();
    flatIndices_.reset();
}

void FastBackend::beginFrame(float aspect) {
    loadScreenProjection(aspect);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    environment_.bind();
    // Where every pixel magnifies the picture (the usual case: it repeats
    // every ten window units, a tenth of the frame's height holds a whole
    // copy) the mipmaps are never read; without them the rasteriser skips
    // working out a level per pixel. From the level-of-detail 0.5 on (one
    // level halves) the mipmaps count again; up to a texel per pixel stays
    // well below that.
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const float unitsPerPixel =
        viewport[2] > 0 && viewport[3] > 0
            ? std::max(2.0f * kScreenHalfHeight * aspect / float(viewport[2]),
                       2.0f * kScreenHalfHeight / float(viewport[3]))
            : 1.0f;
    const GLint minFilter = float(textureSide_) * kTextureScale * unitsPerPixel <= 1.0f
                                ? GL_LINEAR
                                : GL_LINEAR_MIPMAP_NEAREST;
    if (minFilter != minFilter_) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
        minFilter_ = minFilter;
    }
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    vertexCount_ = 0;
    texturedCount_ = 0;
    flatCount_ = 0;
}

// A textured pass's vertices carry its environment colour and its tint, a
// flat pass's its tint as the colour.
void FastBackend::addFan(const Fan& fan, std::int32_t first, std::int32_t count,
                         const PassColors& pass) {
    // Fan vertex 0 and vertices first .. first + count - 1.
    const std::int32_t needed = count + 1;
    if (vertexCount_ + needed > chunkVertices_) {
        flush();
    }
    std::uint16_t* indices = pass.textured ? texturedIndices_.get() : flatIndices_.get();
    std::int32_t& indexCount = pass.textured ? texturedCount_ : flatCount_;
    const Rgba& color = pass.textured ? pass.environment : pass.tint;
    const Rgba none;
    const Rgba& tint = pass.textured ? pass.tint : none;
    const std::int32_t base = vertexCount_;
    for (std::int32_t k = 0; k < needed; ++k) {
        const Point2& point = fan[k == 0 ? 0 : first + k - 1];
        Vertex& vertex = vertices_[vertexCount_++];
        vertex.x = point.x;
        vertex.y = point.y;
        const Point2 texture = textureCoord(pass.textureOffset, point);
        vertex.s = texture.x;
        vertex.t = texture.y;
        std::memcpy(vertex.color, color.c, sizeof vertex.color);
        std::memcpy(vertex.tint, tint.c, sizeof vertex.tint);  // alpha unused
    }
    // The triangles GL makes of the fan, so every pixel is covered as there.
    for (std::int32_t k = 1; k + 1 < needed; ++k) {
        indices[indexCount++] = static_cast<std::uint16_t>(base);
        indices[indexCount++] = static_cast<std::uint16_t>(base + k);
        indices[indexCount++] = static_cast<std::uint16_t>(base + k + 1);
    }
}

void FastBackend::addPolygons(const Polygon* polygons, const PassColors& pass) {
    for (const Polygon* polygon = polygons; polygon; polygon = polygon->next) {
        const Fan fan(*polygon);
        const std::int32_t n = fan.size();
        // Fewer than three vertices cover no pixel. A fan longer than a chunk
        // goes in pieces that share its first vertex.
        for (std::int32_t first = 1; first + 1 < n; first += chunkVertices_ - 2) {
            addFan(fan, first, std::min(n - first, chunkVertices_ - 1), pass);
        }
    }
}

// A mended polygon's fan turns round its centre. Where the polygon is a
// long sliver, two of its points a fraction of a pixel apart can swap order
// as seen from the centre once the rasteriser snaps them to its subpixel
// grid: one thin triangle turns over and the fan covers a wedge three times.
// Blended fans therefore count their coverage signed: the triangles that
// face as drawn are added, the few that turned over are subtracted, so each
// sample gets the polygon's winding number, once inside, never outside.
// Written (unblended) fans need nothing: writing a sample again changes
// nothing.
void FastBackend::flush() {
    if (texturedCount_ == 0 && flatCount_ == 0) {
        vertexCount_ = 0;
        return;
    }
    const GLsizei stride = sizeof(Vertex);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, stride, &vertices_[0].x);
    glColorPointer(4, GL_FLOAT, stride, vertices_[0].color);
    if (blending_) {
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CW);  // polygons are wound clockwise
        glCullFace(GL_BACK);
        drawTriangles();
        glCullFace(GL_FRONT);
        glBlendEquation(GL_FUNC_REVERSE_SUBTRACT);
        drawTriangles();
        glBlendEquation(GL_FUNC_ADD);
        glDisable(GL_CULL_FACE);
    } else {
        drawTriangles();
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    vertexCount_ = 0;
    texturedCount_ = 0;
    flatCount_ = 0;
}

void FastBackend::drawTriangles() {
    const GLsizei stride = sizeof(Vertex);
    // Fills (views whose tint is not carried down) first: llvmpipe's blend
    // rounds with the colour already in the pixel, so adding in the exact
    // backend's order (a view's fill before the environments inside it)
    // keeps the sums closest to its picture.
    if (flatCount_ > 0) {
        glDrawElements(GL_TRIANGLES, flatCount_, GL_UNSIGNED_SHORT, flatIndices_.get());
    }
    if (texturedCount_ > 0) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnableClientState(GL_SECONDARY_COLOR_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, stride, &vertices_[0].s);
        glSecondaryColorPointer(3, GL_FLOAT, stride, vertices_[0].tint);
        glUseProgram(program_);
        glDrawElements(GL_TRIANGLES, texturedCount_, GL_UNSIGNED_SHORT, texturedIndices_.get());
        glUseProgram(0);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_SECONDARY_COLOR_ARRAY);
    }
}

// The plan in one sweep. Passes no other touches (last in the plan) are
// written, not blended: they cost the rasteriser less (a tenth of a deep
// frame).
void FastBackend::drawRecord(const FrameRecord& record, const PassPlan& plan) {
    if (!vertices_) {
        return;
    }
    blending_ = true;
    for (std::int32_t i = 0; i < plan.count; ++i) {
        const PlannedPass& pass = plan.passes[i];
        if (pass.blended != blending_) {
            flush();
            blending_ = pass.blended;
            if (blending_) {
                glEnable(GL_BLEND);
            } else {
                glDisable(GL_BLEND);
            }
        }
        addPolygons(record.commands[pass.command].polygons, pass.colors);
    }
    flush();
    if (!blending_) {
        glEnable(GL_BLEND);
        blending_ = true;
    }
}

bool AutoBackend::create(const Image& picture) {
    if (fast_.create(picture)) {
        active_ = &fast_;
        return true;
    }
    fast_.destroy();
    active_ = &exact_;
    return exact_.create(picture);
}

void AutoBackend::destroy() {
    fast_.destroy();
    exact_.destroy();
    active_ = &fast_;
}
