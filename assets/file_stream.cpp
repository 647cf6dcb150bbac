#include "assets/file_stream.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

void ReadFailure::set(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
}

namespace {

void describeOpenError(ReadFailure* why, int error) {
    if (why) {
        why->set("%s", error ? std::strerror(error) : "not a regular file");
    }
}

// A FIFO or terminal would block the first read (a FIFO blocks the open
// itself), and a directory or device is no data file: only regular files pass.
std::FILE* openRegular(const char* path, const char* mode, int& error) {
#ifdef _WIN32
    // No FIFOs to block on here; devices such as CON or NUL open at once and
    // are refused by the checks after the open, directories by the one before.
    // Some runtimes cannot stat a device name yet report the opened device as a
    // regular file: a regular file always has a status, so a name that opens
    // without one is no data file either.
    struct _stat64 status;
    const bool named = _stat64(path, &status) == 0;
    if (named && (status.st_mode & _S_IFMT) != _S_IFREG) {
        error = 0;
        return nullptr;
    }
    std::FILE* file = std::fopen(path, mode);
    if (!file) {
        error = errno;
        return nullptr;
    }
    if (!named || _fstat64(_fileno(file), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) {
        std::fclose(file);
        error = 0;
        return nullptr;
    }
    return file;
#else
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        error = 0;
        return nullptr;
    }
    // Regular files never block; clear the flag so reads behave as usual.
    const int flags = fcntl(fd, F_GETFL);
    std::FILE* file =
        flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ? nullptr : fdopen(fd, mode);
    if (!file) {
        error = errno;
        ::close(fd);
    }
    return file;
#endif
}

}  // namespace

bool FileStream::open(const char* path, const char* mode, ReadFailure* why) {
    close();
    // A reading primitive: it never creates or writes files.
    if (!path || !mode || mode[0] != 'r' || std::strchr(mode, '+')) {
        describeOpenError(why, EINVAL);
        return false;
    }
    int error = 0;
    file = openRegular(path, mode, error);
    if (!file) {
        describeOpenError(why, error);
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
