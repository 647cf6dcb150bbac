#include "render/backends/outline_lines.h"

#include "render/backends/exact_backend.h"
#include "render/backends/gl.h"

void drawOutlineSegments(const std::vector<OutlineSegment>& segments, float aspect) {
    loadScreenProjection(aspect);
    const GLboolean blend = glIsEnabled(GL_BLEND);
    const GLboolean texture = glIsEnabled(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glLineWidth(1.0f);
    glBegin(GL_LINES);
    for (const OutlineSegment& segment : segments) {
        glColor3f(segment.color.r, segment.color.g, segment.color.b);
        glVertex2f(segment.from.x, segment.from.y);
        glVertex2f(segment.to.x, segment.to.y);
    }
    glEnd();
    if (blend)
        glEnable(GL_BLEND);
    if (texture)
        glEnable(GL_TEXTURE_2D);
}
