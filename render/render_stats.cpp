#include "render/render_stats.h"

#include <algorithm>

#include "render/frame_state.h"

FrameState frameState;

bool FrameState::create(std::int32_t commandCapacity, const FrameArena& arena) {
    if (record.create(commandCapacity) && mend.create(arena) && plan.create(commandCapacity)) {
        return true;
    }
    release();
    return false;
}

void FrameState::release() {
    record.release();
    mend.release();
    plan.release();
}

bool recreateFrameArena(std::int32_t polygonCapacity, std::int32_t pointCapacity,
                        std::int32_t slotCapacity) {
    const std::int32_t commands = frameState.record.capacity;
    if (frameArena.create(polygonCapacity, pointCapacity, slotCapacity) &&
        frameState.create(commands, frameArena)) {
        return true;
    }
    frameArena.release();
    return false;
}

std::int64_t frameMemoryBytes(std::int32_t polygonCapacity, std::int32_t pointCapacity,
                              std::int32_t slotCapacity) {
    using Bytes = std::int64_t;
    // As LineTable::create and Mend::create size them.
    const Bytes lines = 3 * Bytes(pointCapacity) + 64;
    const Bytes members = 4 * Bytes(pointCapacity) + 128;
    const Bytes perPolygon = sizeof(Polygon) + sizeof(Polygon*) + sizeof(std::uint32_t);
    const Bytes perPoint = sizeof(Point2) + 2 * sizeof(std::int32_t);
    const Bytes perSlot =
        sizeof(Point2*) + sizeof(std::int32_t) + sizeof(Mend::EdgeRef) + sizeof(Mend::Range);
    const Bytes perLine =
        sizeof(LineTable::Line) + sizeof(Mend::LineEdges) + 2 * sizeof(LineTable::Member);
    return perPolygon * polygonCapacity + perPoint * pointCapacity + perSlot * slotCapacity +
           perLine * lines + 2 * sizeof(LineTable::Member) * members;
}

void resetRenderStats() {
    frameState.stats = RenderStats();
}

void countFrame(RenderStats& stats, const FrameRecord& record, const FrameArena& arena,
                bool mendingAsked, bool mended) {
    stats.frameMended = mended;
    if (mendingAsked && !mended) {
        ++stats.unmendedFrames;
    }
    const RecordCounts counts = countRecord(record);
    stats.viewsDrawn = counts.views;
    stats.triangleFans = counts.fans;
    stats.verticesSent = counts.vertices;
    stats.commandsUsed = record.count;
    stats.polygonsUsed = arena.polygonsUsed;
    stats.pointsUsed = arena.pointsUsed;
    stats.slotsUsed = arena.slotsUsed;
    stats.frameOverflowed = record.objectSkipped || arena.overflowed || record.overflowed;
    stats.frameTrimmed = record.trimmed && !stats.frameOverflowed;
    stats.viewsLeftClosed = record.viewsLeftClosed;
    ++stats.framesRendered;
    if (stats.frameOverflowed) {
        ++stats.overflowFrames;
    }
    if (stats.frameTrimmed) {
        ++stats.trimmedFrames;
    }
    stats.peakCommandsUsed = std::max(stats.peakCommandsUsed, record.count);
    stats.peakPolygonsUsed = std::max(stats.peakPolygonsUsed, arena.polygonsUsed);
    stats.peakPointsUsed = std::max(stats.peakPointsUsed, arena.pointsUsed);
    stats.peakSlotsUsed = std::max(stats.peakSlotsUsed, arena.slotsUsed);
}
