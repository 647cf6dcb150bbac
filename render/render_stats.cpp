#include "render/render_stats.h"

#include <algorithm>

#include "render/frame_arena.h"
#include "render/frame_record.h"

RenderStats renderStats;
int frameDepthBudget = 2;
bool frameMending = true;

void resetRenderStats() {
    renderStats = RenderStats();
}

bool recreateFrameArena(std::int32_t polygonCapacity, std::int32_t pointCapacity,
                        std::int32_t slotCapacity) {
    return frameArena.create(polygonCapacity, pointCapacity, slotCapacity);
}

void beginFrameStats() {
    renderStats.viewsDrawn = 0;
    renderStats.triangleFans = 0;
    renderStats.verticesSent = 0;
    renderStats.frameOverflowed = false;
}

void endFrameStats() {
    // Everything is cut: the pieces get the points their neighbours made on
    // their edges, so they tile their windows exactly.
    renderStats.frameMended = frameMending && frameArena.lines.mend(frameRecord);
    if (frameMending && !renderStats.frameMended) {
        ++renderStats.unmendedFrames;
    }
    const RecordCounts counts = countRecord(frameRecord);
    renderStats.viewsDrawn = counts.views;
    renderStats.triangleFans = counts.fans;
    renderStats.verticesSent = counts.vertices;
    renderStats.commandsUsed = frameRecord.count;
    renderStats.peakCommandsUsed = std::max(renderStats.peakCommandsUsed, frameRecord.count);
    renderStats.polygonsUsed = frameArena.polygonsUsed;
    renderStats.pointsUsed = frameArena.pointsUsed;
    renderStats.slotsUsed = frameArena.slotsUsed;
    renderStats.frameOverflowed =
        renderStats.frameOverflowed || frameArena.overflowed || frameRecord.overflowed;
    ++renderStats.framesRendered;
    if (renderStats.frameOverflowed) {
        ++renderStats.overflowFrames;
    }
    renderStats.peakPolygonsUsed = std::max(renderStats.peakPolygonsUsed, frameArena.polygonsUsed);
    renderStats.peakPointsUsed = std::max(renderStats.peakPointsUsed, frameArena.pointsUsed);
    renderStats.peakSlotsUsed = std::max(renderStats.peakSlotsUsed, frameArena.slotsUsed);
}
