#include "tools/frame_pipeline.h"

#include <algorithm>
#include <exception>

FramePipeline::~FramePipeline() {
    std::string ignored;
    finish(ignored, true);
}

std::size_t FramePipeline::bufferCount(std::size_t frameBytes, int workers, std::uint64_t frames) {
    std::size_t count = std::min<std::uint64_t>(static_cast<std::size_t>(workers) * 2 + 2,
                                                std::max<std::uint64_t>(frames, 2));
    if (frameBytes > 0)
        count = std::min(count, std::max<std::size_t>(2, kBufferBudget / frameBytes));
    return count;
}

bool FramePipeline::start(std::size_t frameBytes, int workers, std::uint64_t frames,
                          Encoder encoder, const std::vector<std::uint8_t*>& buffers) {
    encode = std::move(encoder);
    const std::size_t count =
        buffers.empty() ? bufferCount(frameBytes, workers, frames) : buffers.size();
    // Two buffers stay with the drawing: one read into, one landing.
    workers = static_cast<int>(std::max<std::size_t>(
        1, std::min<std::size_t>(workers, std::max<std::size_t>(count, 3) - 2)));
    try {
        slots.resize(count);
        freeRing.resize(count);
        readyRing.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            if (buffers.empty()) {
                slots[i].owned.resize(frameBytes);
                slots[i].pixels = slots[i].owned.data();
            } else {
                slots[i].pixels = buffers[i];
            }
            freeRing[i] = i;
        }
        freeHead = 0;
        freeCount = count;
        for (int i = 0; i < workers; ++i)
            threads.emplace_back(&FramePipeline::work, this);
    } catch (const std::exception&) {  // std::bad_alloc, or std::system_error for threads
        std::string ignored;
        finish(ignored, true);
        slots.clear();
        slots.shrink_to_fit();
        return false;
    }
    return true;
}

int FramePipeline::acquire() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return failed || freeCount > 0; });
    if (failed)
        return -1;
    const std::size_t slot = freeRing[freeHead];
    freeHead = (freeHead + 1) % freeRing.size();
    --freeCount;
    return static_cast<int>(slot);
}

void FramePipeline::submit(int slot, std::uint64_t index) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        slots[static_cast<std::size_t>(slot)].index = index;
        readyRing[(readyHead + readyCount) % readyRing.size()] = static_cast<std::size_t>(slot);
        ++readyCount;
    }
    changed.notify_all();
}

void FramePipeline::work() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return closing || readyCount > 0; });
        if (readyCount == 0 || failed) {
            if (closing)
                return;
            readyCount = 0;  // after a failure the rest is dropped
            continue;
        }
        const std::size_t slot = readyRing[readyHead];
        readyHead = (readyHead + 1) % readyRing.size();
        --readyCount;
        lock.unlock();
        std::string error;
        const bool encoded = encode(slots[slot].index, slots[slot].pixels, error);
        lock.lock();
        if (!encoded && !failed) {
            failed = true;
            failure = error;
        }
        freeRing[(freeHead + freeCount) % freeRing.size()] = slot;
        ++freeCount;
        changed.notify_all();
    }
}

bool FramePipeline::finish(std::string& error, bool abandon) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (abandon)
            readyCount = 0;
        closing = true;
    }
    changed.notify_all();
    for (std::thread& thread : threads)
        thread.join();
    threads.clear();
    if (failed)
        error = failure;
    return !failed;
}
