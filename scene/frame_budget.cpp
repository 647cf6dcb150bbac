#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "render/frame_state.h"
#include "scene/scene.h"

FrameBudget sceneBudget;

BudgetSweep sweepOrbit(std::int32_t frames, int depth, bool trimmed) {
    BudgetSweep sweep;
    NoneBackend none;
    std::vector<std::int64_t> views;
    views.reserve(static_cast<std::size_t>(std::max(frames, 0)));
    const bool trimming = frameState.trimming;
    frameState.trimming = trimmed;
    resetRenderStats();
    for (std::int32_t k = 0; k < frames; ++k) {
        FrameInputs inputs;
        inputs.timeMs = static_cast<std::uint32_t>(std::uint64_t(k) * kOrbitPeriodMs /
                                                   static_cast<std::uint64_t>(frames));
        inputs.width = kBudgetSweepWidth;
        inputs.height = kBudgetSweepHeight;
        inputs.depthBudget = depth;
        inputs.backend = &none;
        drawFrame(inputs);
        views.push_back(frameState.stats.viewsDrawn);
    }
    frameState.trimming = trimming;
    const RenderStats& stats = frameState.stats;
    sweep.frames = frames;
    if (!views.empty()) {
        std::sort(views.begin(), views.end());
        sweep.medianViews = views[views.size() / 2];
        sweep.maxViews = views.back();
    }
    sweep.peakPolygons = stats.peakPolygonsUsed;
    sweep.peakPoints = stats.peakPointsUsed;
    sweep.peakSlots = stats.peakSlotsUsed;
    sweep.overflowFrames = stats.overflowFrames;
    sweep.trimmedFrames = stats.trimmedFrames;
    resetRenderStats();
    return sweep;
}

namespace {

struct Pools {
    std::int32_t polygons = 0;
    std::int32_t points = 0;
    std::int32_t slots = 0;

    std::int64_t bytes() const { return frameMemoryBytes(polygons, points, slots); }
    Pools scaled(double factor) const {
        const auto scale = [factor](std::int32_t n) {
            return static_cast<std::int32_t>(std::ceil(n * factor));
        };
        return Pools{scale(polygons), scale(points), scale(slots)};
    }
};

constexpr Pools kStandardPools{kFramePolygonCapacity, kFramePointCapacity, kFrameSlotCapacity};

bool createPools(const Pools& pools) {
    return recreateFrameArena(pools.polygons, pools.points, pools.slots);
}

// What a sweep's peaks need with the headroom; the slots also leave the
// arena's held-back third to the mend.
Pools poolsFor(const BudgetSweep& sweep) {
    const auto room = [](std::int32_t peak, double factor) {
        return static_cast<std::int32_t>(std::ceil(peak * kBudgetHeadroom * factor));
    };
    return Pools{room(sweep.peakPolygons, 1.0), room(sweep.peakPoints, 1.0),
                 room(sweep.peakSlots, 1.5)};
}

bool fits(const Pools& needed, const Pools& pools) {
    return needed.polygons <= pools.polygons && needed.points <= pools.points &&
           needed.slots <= pools.slots;
}

// The sweep of a budget: the demo's depth, every frame as recorded.
BudgetSweep sweepBudget() {
    return sweepOrbit(kBudgetSweepFrames, kDemoDepthBudget, false);
}

}  // namespace

bool sizeFrameBudget(char* reason, std::size_t reasonSize) {
    const auto start = std::chrono::steady_clock::now();
    sceneBudget = FrameBudget();
    frameState.skipApart = false;
    const auto finish = [&](bool ok) {
        const std::chrono::duration<double, std::milli> spent =
            std::chrono::steady_clock::now() - start;
        sceneBudget.sweepMs = spent.count();
        return ok;
    };
    // Every view opened, in the standard sizes the frame state was created
    // with: the shipped scene stops here.
    BudgetSweep sweep = sweepBudget();
    if (sweep.overflowFrames == 0 && fits(poolsFor(sweep), kStandardPools)) {
        return finish(true);
    }
    // Views under about a pixel left closed, in pools grown until the
    // sweep fits them or the ceiling is reached.
    sceneBudget.minOpenPixels = kMinOpenPixels;
    frameState.skipApart = true;
    const double ceilingFactor = double(kFrameMemoryCeiling) / double(kStandardPools.bytes());
    Pools pools = kStandardPools;
    for (double factor = 1.0;; factor = std::min(factor * 2.0, ceilingFactor)) {
        pools = kStandardPools.scaled(factor);
        if (!createPools(pools)) {
            std::snprintf(reason, reasonSize, "no memory for the frame's working space");
            return finish(false);
        }
        sweep = sweepBudget();
        if (sweep.overflowFrames == 0) {
            break;
        }
        if (factor >= ceilingFactor) {
            std::snprintf(reason, reasonSize,
                          "the scene needs more than %lld MiB of frame memory at depth %d, even "
                          "with views under %g pixel left closed",
                          static_cast<long long>(kFrameMemoryCeiling >> 20), kDemoDepthBudget,
                          double(kMinOpenPixels));
            return finish(false);
        }
    }
    Pools sized = poolsFor(sweep);
    sized = Pools{std::max(sized.polygons, kStandardPools.polygons),
                  std::max(sized.points, kStandardPools.points),
                  std::max(sized.slots, kStandardPools.slots)};
    if (sized.bytes() > kFrameMemoryCeiling) {
        sized = pools;  // what the sweep fitted, within the ceiling
    }
    sceneBudget.polygons = sized.polygons;
    sceneBudget.points = sized.points;
    sceneBudget.slots = sized.slots;
    if (!createPools(sized)) {
        std::snprintf(reason, reasonSize, "no memory for the frame's working space");
        return finish(false);
    }
    return finish(true);
}
