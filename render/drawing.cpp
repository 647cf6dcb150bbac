#include "render/gl.h"
#include "render/render_stats.h"
#include "render/view.h"

namespace {

// The environment picture repeats every ten window units.
constexpr float kTextureScale = 0.1f;

// Counts the fan (also with drawing off, as the work it stands for) and says
// whether GL calls are to be made for it.
bool beginFan(const Polygon* polygon) {
    if (polygon->vertexCount <= 0) {
        return false;
    }
    ++renderStats.triangleFans;
    renderStats.verticesSent += polygon->vertexCount;
    return renderDrawingEnabled;
}

}  // namespace

void PolygonList::drawFilled() const {
    for (const Polygon* polygon = head; polygon; polygon = polygon->next) {
        if (!beginFan(polygon)) {
            continue;
        }
        glBegin(GL_TRIANGLE_FAN);
        for (std::int32_t i = 0; i < polygon->vertexCount; ++i) {
            glVertex2f(polygon->vertices[i]->x, polygon->vertices[i]->y);
        }
        glEnd();
    }
}

void View::drawFill() const {
    if (renderDrawingEnabled) {
        glColor4f(fillColor.r, fillColor.g, fillColor.b, fillColor.a);
    }
    // The blend adds colour times alpha, so a fill with alpha 0 (every
    // mirrored view's) changes no pixel; rasterising it cost a tenth of the
    // frame in the software renderer.
    if (fillColor.a == 0.0f) {
        return;
    }
    window.drawFilled();
}

// Laid flat over the window in screen space, shifted by the eye's height so
// every child shows the picture at its own offset.
void View::drawEnvironment() const {
    if (renderDrawingEnabled) {
        glEnable(GL_TEXTURE_2D);
        glColor4f(envColor.r, envColor.g, envColor.b, envColor.a);
    }
    for (const Polygon* polygon = window.head; polygon; polygon = polygon->next) {
        if (!beginFan(polygon)) {
            continue;
        }
        glBegin(GL_TRIANGLE_FAN);
        for (std::int32_t i = 0; i < polygon->vertexCount; ++i) {
            const Point2& point = *polygon->vertices[i];
            glTexCoord2f((eye.y + point.x) * kTextureScale, (eye.y + point.y) * kTextureScale);
            glVertex2f(point.x, point.y);
        }
        glEnd();
    }
    if (renderDrawingEnabled) {
        glDisable(GL_TEXTURE_2D);
    }
}
