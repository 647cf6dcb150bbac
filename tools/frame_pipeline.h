#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Frames on their way from the GL readback to their encoder, so that drawing
// the next frame overlaps encoding the last ones. A fixed set of frame
// buffers is allocated up front and cycles between the drawing thread and
// the worker threads: nothing is allocated per frame, and the drawing waits
// only when every buffer is still being encoded.
class FramePipeline {
public:
    // What the frame buffers may take together when several fit.
    static constexpr std::size_t kBufferBudget = std::size_t(1) << 30;

    // Encodes frame `index` from its pixels; false with a reason stops the run.
    using Encoder =
        std::function<bool(std::uint64_t index, const std::uint8_t* pixels, std::string& error)>;

    ~FramePipeline();
    // Up to `workers` threads for a run of `frames` frames; one worker takes
    // the frames strictly in order (a video stream), several take them as
    // they come (files of their own). Buffers are no more than the run can
    // use at once, and within kBufferBudget where a frame allows. False when
    // they or the threads cannot be had.
    bool start(std::size_t frameBytes, int workers, std::uint64_t frames, Encoder encoder);
    // The next free buffer to read a frame into, waiting for one if need be;
    // nullptr once an encoder has failed.
    std::uint8_t* acquire();
    // Hands the buffer acquire() gave to the workers as frame `index`.
    void submit(std::uint64_t index);
    // Waits for every submitted frame (abandon: drops those not yet begun)
    // and the workers. Returns false with the first encoder's error.
    bool finish(std::string& error, bool abandon = false);

private:
    void work();

    struct Slot {
        std::vector<std::uint8_t> pixels;
        std::uint64_t index = 0;
    };
    std::vector<Slot> slots;
    // Rings of slot numbers: free ones, and submitted ones in submission order.
    std::vector<std::size_t> freeRing, readyRing;
    std::size_t freeHead = 0, freeCount = 0, readyHead = 0, readyCount = 0;
    std::size_t filling = 0;
    Encoder encode;
    std::mutex mutex;
    std::condition_variable changed;
    bool closing = false;
    bool failed = false;
    std::string failure;
    std::vector<std::thread> threads;
};
