#include "assets/file_stream.h"

bool FileStream::open(const char* path, const char* mode) {
    close();
    if (!path || !mode) {
        return false;
    }
    file = std::fopen(path, mode);
    if (!file) {
        return false;
    }
    atEnd = false;
    return true;
}

void FileStream::close() {
    if (file) {
        std::fclose(file);
        file = nullptr;
        atEnd = true;
    }
}

bool FileStream::read(void* buffer, std::size_t size) {
    if (!file) {
        return false;
    }
    // One block of size bytes: a zero-byte read or a short read counts as failure.
    if (std::fread(buffer, size, 1, file) == 1) {
        return true;
    }
    atEnd = std::feof(file) != 0;
    return false;
}

long FileStream::tell() const {
    return file ? std::ftell(file) : -1;
}

bool FileStream::seek(long offset) {
    return file && std::fseek(file, offset, SEEK_SET) == 0;
}

bool FileStream::skip(long offset) {
    return file && std::fseek(file, offset, SEEK_CUR) == 0;
}

long FileStream::fileSize() const {
    if (!file) {
        return -1;
    }
    const long position = std::ftell(file);
    if (position < 0 || std::fseek(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const long size = std::ftell(file);
    // The caller's position must survive the question, or the size is no use.
    if (std::fseek(file, position, SEEK_SET) != 0) {
        return -1;
    }
    return size;
}
