// The tool's PNG writer alone: a clip's frames, already in memory as the
// readback gives them (BGRX, bottom row first, one after another in a raw
// file), written as numbered PNG files by one thread per core, as `render`
// does. What a PNG sequence costs beyond drawing, without the drawing.
//
//   glasswake_png_writer_bench FRAMES.bgrx WIDTH HEIGHT OUTPUT_DIR [THREADS]
//
// Prints one JSON object: frames, threads, wall and CPU milliseconds per
// frame (CPU of every thread of the process).

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tools/png_writer.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s FRAMES.bgrx WIDTH HEIGHT OUTPUT_DIR [THREADS]\n", argv[0]);
        return 2;
    }
    const int width = std::atoi(argv[2]);
    const int height = std::atoi(argv[3]);
    const std::string folder = argv[4];
    const unsigned cores = std::thread::hardware_concurrency();
    const int threads = argc > 5 ? std::atoi(argv[5]) : static_cast<int>(cores > 1 ? cores : 1);
    const int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
    struct stat info {};
    const std::size_t frameBytes = static_cast<std::size_t>(width) * height * 4;
    if (fd < 0 || fstat(fd, &info) != 0 || width <= 0 || height <= 0 || threads <= 0 ||
        static_cast<std::size_t>(info.st_size) < frameBytes) {
        std::fprintf(stderr, "%s: no frames of %dx%d to read\n", argv[1], width, height);
        return 1;
    }
    const std::size_t frames = static_cast<std::size_t>(info.st_size) / frameBytes;
    void* mapped = mmap(nullptr, frames * frameBytes, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    close(fd);
    if (mapped == MAP_FAILED) {
        std::perror(argv[1]);
        return 1;
    }
    const auto* pixels = static_cast<const std::uint8_t*>(mapped);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    const auto work = [&] {
        for (std::size_t k; !failed && (k = next++) < frames;) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame_%05zu.png", k);
            std::string error;
            if (!writePngBgrx(folder + name, width, height, pixels + k * frameBytes, error)) {
                std::fprintf(stderr, "%s\n", error.c_str());
                failed = true;
            }
        }
    };
    const double cpuBefore = cpuSeconds();
    const auto begin = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i)
        workers.emplace_back(work);
    for (std::thread& worker : workers)
        worker.join();
    const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - begin;
    const double cpuMs = (cpuSeconds() - cpuBefore) * 1000.0;
    munmap(mapped, frames * frameBytes);
    if (failed)
        return 1;
    std::printf("{\"frames\": %zu, \"threads\": %d, \"wallMs\": %.2f, \"cpuMs\": %.2f}\n", frames,
                threads, wall.count() / static_cast<double>(frames),
                cpuMs / static_cast<double>(frames));
    return 0;
}
