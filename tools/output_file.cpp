#include "tools/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// The longest stem kept whole: with ".", ".PID" (up to 10 digits) and
// ".palette" around it, a hidden name stays within NAME_MAX (255).
constexpr std::size_t kLongestStem = 230;

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The stem of a hidden name ".STEM.PID.ROLE" of either role, or empty; its
// PID in `pid`.
std::string stemOfHidden(const std::string& entry, long& pid) {
    std::size_t end = entry.size();
    for (const char* role : {".new", ".palette"}) {
        const std::size_t length = std::strlen(role);
        if (end > length && entry.compare(end - length, length, role) == 0) {
            end -= length;
            break;
        }
    }
    if (end == entry.size() || entry.empty() || entry[0] != '.')
        return {};
    std::size_t digits = end;
    while (digits > 0 && entry[digits - 1] >= '0' && entry[digits - 1] <= '9')
        --digits;
    if (digits == end || digits < 3 || entry[digits - 1] != '.')
        return {};
    pid = std::strtol(entry.c_str() + digits, nullptr, 10);
    return entry.substr(1, digits - 2);
}

// A run creates its hidden file and then locks it: in between, only its
// process tells it from a killed run's. A process of that number may be
// another program; its file then waits for a later run.
bool processLives(long pid) {
    return pid > 0 && pid <= std::numeric_limits<pid_t>::max() &&
           (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

}  // namespace

std::string hiddenStem(const std::string& name) {
    if (name.size() <= kLongestStem)
        return name;
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const char c : name)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "~%08x", static_cast<unsigned>(hash));
    return name.substr(0, kLongestStem - 9) + suffix;
}

bool PartialFile::create(const std::string& path, const char* role, std::string& error) {
    discard();
    const std::string folder = folderOf(path);
    target = path;
    hidden = (folder == "." && path.find('/') == std::string::npos ? "" : folder + "/") + "." +
             hiddenStem(nameOf(path)) + "." + std::to_string(getpid()) + "." + role;
    descriptor = open(hidden.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    struct stat info;
    if (descriptor < 0 || fstat(descriptor, &info) != 0 ||
        flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        error = path + ": " + std::strerror(errno);
        if (descriptor >= 0) {
            unlink(hidden.c_str());
            close(descriptor);
        }
        descriptor = -1;
        return false;
    }
    device = info.st_dev;
    inode = info.st_ino;
    return true;
}

bool PartialFile::stillOurs() const {
    struct stat info;
    return descriptor >= 0 && lstat(hidden.c_str(), &info) == 0 && info.st_dev == device &&
           info.st_ino == inode;
}

bool PartialFile::commit(std::string& error) {
    if (!stillOurs()) {
        error = target + ": its hidden file " + hidden + " was replaced while it was written";
        discard();
        return false;
    }
    if (std::rename(hidden.c_str(), target.c_str()) != 0) {
        error = target + ": " + std::strerror(errno);
        discard();
        return false;
    }
    close(descriptor);  // releases the lock, now that the name is the final one
    descriptor = -1;
    return true;
}

void PartialFile::discard() {
    if (descriptor < 0)
        return;
    if (stillOurs())
        unlink(hidden.c_str());
    close(descriptor);
    descriptor = -1;
}

void removeLeftovers(const std::string& folder,
                     const std::function<bool(const std::string& stem)>& ours) {
    const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = folderFd >= 0 ? fdopendir(folderFd) : nullptr;
    if (!listing) {
        if (folderFd >= 0)
            close(folderFd);
        return;
    }
    while (const dirent* entry = readdir(listing)) {
        long pid = 0;
        const std::string stem = stemOfHidden(entry->d_name, pid);
        if (stem.empty() || !ours(stem) || processLives(pid))
            continue;
        // Opened without following a link; a live run holds its file locked.
        const int fd = openat(folderFd, entry->d_name,
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        struct stat opened, named;
        if (fd >= 0 && fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
            opened.st_uid == geteuid() && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            fstatat(folderFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
            unlinkat(folderFd, entry->d_name, 0);
        }
        if (fd >= 0)
            close(fd);
    }
    closedir(listing);
}
