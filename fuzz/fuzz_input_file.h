#pragma once

// The readers take a path, so each fuzz input is written to an anonymous
// in-memory file of this process and read back through /proc/self/fd.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

inline const char* fuzzInputPath(const std::uint8_t* data, std::size_t size) {
    static int fd = -1;
    static std::string path;
    if (fd < 0) {
        fd = memfd_create("glasswake_fuzz_input", 0);
        if (fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    if (ftruncate(fd, 0) != 0) {
        std::abort();
    }
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = pwrite(fd, data + written, size - written, off_t(written));
        if (n <= 0) {
            std::abort();
        }
        written += std::size_t(n);
    }
    return path.c_str();
}
