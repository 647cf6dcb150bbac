#include "render/frame_arena.h"

#include <new>

FrameArena frameArena;

bool FrameArena::create(std::int32_t polygonCapacity_, std::int32_t pointCapacity_,
                        std::int32_t slotCapacity_) {
    release();
    if (polygonCapacity_ < 0 || pointCapacity_ < 0 || slotCapacity_ < 0) {
        return false;
    }
    // Exactly the asked sizes, so a sanitizer sees any write past a block.
    polygons = new (std::nothrow) Polygon[static_cast<std::size_t>(polygonCapacity_)];
    points = new (std::nothrow) Point2[static_cast<std::size_t>(pointCapacity_)];
    slots = new (std::nothrow) Point2*[static_cast<std::size_t>(slotCapacity_)];
    slotLines = new (std::nothrow) std::int32_t[static_cast<std::size_t>(slotCapacity_)];
    if (!polygons || !points || !slots || !slotLines || !lines.create(pointCapacity_)) {
        release();
        return false;
    }
    polygonCapacity = polygonCapacity_;
    pointCapacity = pointCapacity_;
    slotCapacity = slotCapacity_;
    slotsHeldBack = slotCapacity_ / 3;
    ready = true;
    reset();
    return true;
}

void FrameArena::reset() {
    polygonsUsed = 0;
    pointsUsed = 0;
    slotsUsed = 0;
    nextPolygon = polygons;
    nextPoint = points;
    nextSlot = slots;
    overflowed = false;
    lines.reset();
}

void FrameArena::release() {
    delete[] polygons;
    delete[] points;
    delete[] slots;
    delete[] slotLines;
    lines.release();
    polygons = nullptr;
    points = nullptr;
    slots = nullptr;
    slotLines = nullptr;
    slotsHeldBack = 0;
    ready = false;
    polygonCapacity = 0;
    pointCapacity = 0;
    slotCapacity = 0;
    reset();
}

bool FrameArena::hasRoom(std::int32_t polygonCount, std::int32_t pointCount,
                         std::int32_t slotCount) {
    // Compared as differences, so huge requests cannot overflow the sums.
    const bool room = ready && polygonCount >= 0 && pointCount >= 0 && slotCount >= 0 &&
                      polygonCount <= polygonCapacity - polygonsUsed &&
                      pointCount <= pointCapacity - pointsUsed &&
                      slotCount <= slotCapacity - slotsHeldBack - slotsUsed;
    if (!room) {
        overflowed = true;
    }
    return room;
}

Polygon* FrameArena::newPolygon() {
    if (!hasRoom(1, 0, 0)) {
        return nullptr;
    }
    ++polygonsUsed;
    return nextPolygon++;
}

Point2* FrameArena::newPoint(float x, float y) {
    if (!hasRoom(0, 1, 0)) {
        return nullptr;
    }
    ++pointsUsed;
    Point2* point = nextPoint++;
    point->x = x;
    point->y = y;
    return point;
}

Point2** FrameArena::takeSlots(std::int32_t n, bool mending) {
    if (mending ? !ready || n < 0 || n > slotCapacity - slotsUsed : !hasRoom(0, 0, n)) {
        return nullptr;
    }
    slotsUsed += n;
    Point2** taken = nextSlot;
    nextSlot += n;
    return taken;
}

bool Polygon::allocateVertices(std::int32_t n) {
    Point2** taken = frameArena.takeSlots(n);
    if (!taken) {
        vertexCount = 0;
        vertices = nullptr;
        return false;
    }
    // Lines unknown until whoever fills the slots says otherwise.
    std::int32_t* lines = frameArena.linesOf(taken);
    for (std::int32_t i = 0; i < n; ++i) {
        lines[i] = -1;
    }
    vertexCount = n;
    vertices = taken;
    fanFromCentre = false;
    return true;
}

bool Polygon::copyFrom(const Polygon& source) {
    // Read the source first: a polygon copied onto itself keeps its points.
    Point2* const* from = source.vertices;
    const std::int32_t n = source.vertexCount;
    Point2** taken = frameArena.takeSlots(n);
    if (!taken) {
        vertexCount = 0;
        vertices = nullptr;
        return false;
    }
    const std::int32_t* fromLines = frameArena.linesOf(from);
    std::int32_t* takenLines = frameArena.linesOf(taken);
    for (std::int32_t i = 0; i < n; ++i) {
        taken[i] = from[i];
        takenLines[i] = fromLines[i];
    }
    vertexCount = n;
    vertices = taken;
    fanFromCentre = source.fanFromCentre;
    return true;
}

std::int32_t Polygon::listEdges(Edge2* edges) const {
    const std::int32_t* lines = frameArena.linesOf(vertices);
    for (std::int32_t i = 0; i < vertexCount; ++i) {
        edges[i].from = vertices[i];
        edges[i].to = vertices[i + 1 < vertexCount ? i + 1 : 0];
        edges[i].line = lines[i];
    }
    return vertexCount;
}

bool PolygonList::copyFrom(const PolygonList& source) {
    clear();
    std::int32_t nodes = 0;
    std::int32_t slotTotal = 0;
    for (const Polygon* polygon = source.head; polygon; polygon = polygon->next) {
        ++nodes;
        slotTotal += polygon->vertexCount;
    }
    if (nodes == 0) {
        return true;
    }
    if (!frameArena.hasRoom(nodes, 0, slotTotal)) {
        return false;
    }
    Polygon* tail = nullptr;
    for (const Polygon* polygon = source.head; polygon; polygon = polygon->next) {
        Polygon* copy = frameArena.newPolygon();
        copy->copyFrom(*polygon);
        copy->next = nullptr;
        if (tail) {
            tail->next = copy;
        } else {
            head = copy;
        }
        tail = copy;
    }
    count = nodes;
    return true;
}

bool PolygonList::shareNear(const PolygonList& source, const Bounds& near) {
    clear();
    std::int32_t nodes = 0;
    for (const Polygon* polygon = source.head; polygon; polygon = polygon->next) {
        nodes += boundsOf(*polygon).isApartFrom(near) ? 0 : 1;
    }
    if (nodes == 0) {
        return true;
    }
    if (!frameArena.hasRoom(nodes, 0, 0)) {
        return false;
    }
    Polygon* tail = nullptr;
    for (const Polygon* polygon = source.head; polygon; polygon = polygon->next) {
        if (boundsOf(*polygon).isApartFrom(near)) {
            continue;
        }
        Polygon* node = frameArena.newPolygon();
        *node = *polygon;
        node->next = nullptr;
        (tail ? tail->next : head) = node;
        tail = node;
    }
    count = nodes;
    return true;
}
