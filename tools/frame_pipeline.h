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
// buffers, made up front (or the caller's, such as mapped pixel buffers),
// cycles between the drawing thread and the worker threads: nothing is
// allocated per frame, and the drawing waits only when every buffer is still
// being encoded.
class FramePipeline {
public:
    // What the frame buffers may take together when several fit.
    static constexpr std::size_t kBufferBudget = std::size_t(1) << 30;

    // Encodes frame `index` from its pixels; false with a reason stops the run.
    using Encoder =
        std::function<bool(std::uint64_t index, const std::uint8_t* pixels, std::string& error)>;

    ~FramePipeline();
    // How many buffers `workers` threads use for a run of `frames` frames:
    // one being read into, one whose read is still landing, and per worker
    // one waiting and one being encoded; never more than the run can use at
    // once, and within kBufferBudget where a frame allows.
    static std::size_t bufferCount(std::size_t frameBytes, int workers, std::uint64_t frames);
    // Up to `workers` threads; one worker takes the frames strictly in order
    // (a video stream), several take them as they come (files of their own).
    // The buffers are `buffers` when given (bufferCount() of them, at least
    // two, alive until finish()), else made here. False when they or the
    // threads cannot be had.
    bool start(std::size_t frameBytes, int workers, std::uint64_t frames, Encoder encoder,
               const std::vector<std::uint8_t*>& buffers = {});
    // The number of the next free buffer to read a frame into, waiting for
    // one if need be; -1 once an encoder has failed.
    int acquire();
    std::uint8_t* pixels(int slot) const { return slots[static_cast<std::size_t>(slot)].pixels; }
    // Hands buffer `slot`, from acquire(), to the workers as frame `index`.
    void submit(int slot, std::uint64_t index);
    // Waits for every submitted frame (abandon: drops those not yet begun)
    // and the workers. Returns false with the first encoder's error.
    bool finish(std::string& error, bool abandon = false);

private:
    void work();

    struct Slot {
        std::vector<std::uint8_t> owned;  // empty for the caller's buffers
        std::uint8_t* pixels = nullptr;
        std::uint64_t index = 0;
    };
    std::vector<Slot> slots;
    // Rings of slot numbers: free ones, and submitted ones in submission order.
    std::vector<std::size_t> freeRing, readyRing;
    std::size_t freeHead = 0, freeCount = 0, readyHead = 0, readyCount = 0;
    Encoder encode;
    std::mutex mutex;
    std::condition_variable changed;
    bool closing = false;
    bool failed = false;
    std::string failure;
    std::vector<std::thread> threads;
};
