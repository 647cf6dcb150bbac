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
    // Encodes frame `index` from its pixels; false with a reason stops the run.
    using Encoder =
        std::function<bool(std::uint64_t index, const std::uint8_t* pixels, std::string& error)>;

    ~FramePipeline();
    // workers threads; one worker takes the frames strictly in order (a
    // video stream), several take them as they come (files of their own).
    void start(std::size_t frameBytes, int workers, Encoder encoder);
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
