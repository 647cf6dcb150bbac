#pragma once

#include <cstddef>
#include <cstdio>

// Why a reader refused its file, as one short sentence ("POLS chunk runs past
// the end of the file"); empty after a success. Fixed storage: setting it never
// allocates, so it works when memory has run out.
struct ReadFailure {
    char text[96] = {};

    void clear() { text[0] = '\0'; }
    // printf-style; a longer text is cut to fit.
    void set(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
};

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

    // Opens regular files only, for reading: a FIFO, directory or device is
    // refused without waiting on it. On failure why says what was wrong.
    bool open(const char* path, const char* mode, ReadFailure* why = nullptr);
    void close();
    bool read(void* buffer, std::size_t size);
    long tell() const;
    bool seek(long offset);
    bool skip(long offset);
    // Bytes in the whole file, or -1 when it cannot be told. Lets the readers
    // refuse sizes the file cannot hold before they allocate anything.
    long fileSize() const;
};
