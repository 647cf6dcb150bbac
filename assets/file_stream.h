#pragma once

#include <cstddef>
#include <cstdio>

// The one file-reading primitive of the asset readers: whole-block reads,
// seeks, and whether the last failed read ran into the end of the file.
// Closed on every way out of a reader by its destructor.
struct FileStream {
    std::FILE* file = nullptr;
    bool atEnd = true;

    FileStream() = default;
    ~FileStream() { close(); }
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    bool open(const char* path, const char* mode);
    void close();
    bool read(void* buffer, std::size_t size);
    long tell() const;
    bool seek(long offset);
    bool skip(long offset);
    // Bytes in the whole file, or -1 when it cannot be told. Lets the readers
    // refuse sizes the file cannot hold before they allocate anything.
    long fileSize() const;
};
