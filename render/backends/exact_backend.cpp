#include "render/backends/exact_backend.h"

#include "render/backends/gl.h"

namespace {

void setColor(const Rgba& color) {
    glColor4f(color.c[0], color.c[1], color.c[2], color.c[3]);
}

void drawFill(const DrawCommand& command) {
    setColor(passColors(command).tint);
    // The blend adds colour times alpha, so a fill with alpha 0 (every
    // mirrored view's) changes no pixel; rasterising it cost a tenth of the
    // frame in the software renderer.
    if (isInvisible(command)) {
        return;
    }
    for (const Polygon* polygon = command.polygons; polygon; polygon = polygon->next) {
        if (polygon->vertexCount <= 0) {
            continue;
        }
        const Fan fan(*polygon);
        glBegin(GL_TRIANGLE_FAN);
        for (std::int32_t i = 0; i < fan.size(); ++i) {
            glVertex2f(fan[i].x, fan[i].y);
        }
        glEnd();
    }
}

// Laid flat over the window in screen space.
void drawEnvironment(const DrawCommand& command) {
    glEnable(GL_TEXTURE_2D);
    const PassColors pass = passColors(command);
    setColor(pass.environment);
    for (const Polygon* polygon = command.polygons; polygon; polygon = polygon->next) {
        if (polygon->vertexCount <= 0) {
            continue;
        }
        const Fan fan(*polygon);
        glBegin(GL_TRIANGLE_FAN);
        for (std::int32_t i = 0; i < fan.size(); ++i) {
            const Point2& point = fan[i];
            const Point2 texture = textureCoord(pass.textureOffset, point);
            glTexCoord2f(texture.x, texture.y);
            glVertex2f(point.x, point.y);
        }
        glEnd();
    }
    glDisable(GL_TEXTURE_2D);
}

}  // namespace

bool ExactBackend::create(const Image& picture) {
    if (!environment_.create(picture, nullptr)) {
        return false;
    }
    glShadeModel(GL_FLAT);
    glDisable(GL_DEPTH_TEST);
    return true;
}

void ExactBackend::destroy() {
    environment_.destroy();
}

void loadScreenProjection(float aspect) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(-kScreenHalfHeight * aspect, kScreenHalfHeight * aspect, -kScreenHalfHeight,
               kScreenHalfHeight);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void ExactBackend::beginFrame(float aspect) {
    loadScreenProjection(aspect);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    environment_.bind();
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
#ifdef GL_MULTISAMPLE
    // One sample per pixel, also on a multisampled surface; on again (GL's
    // default) once the record is drawn.
    glDisable(GL_MULTISAMPLE);
#endif
}

void ExactBackend::drawRecord(const FrameRecord& record, const PassPlan&) {
    for (std::int32_t i = 0; i < record.count; ++i) {
        const DrawCommand& command = record.commands[i];
        if (command.pass == DrawPass::Fill) {
            drawFill(command);
        } else {
            drawEnvironment(command);
        }
    }
#ifdef GL_MULTISAMPLE
    glEnable(GL_MULTISAMPLE);
#endif
}
