#include "app/sdl/settings_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Far beyond any real settings file; a larger one is something else.
constexpr std::size_t kMaxSettingsFileSize = std::size_t{1} << 20;

constexpr int kKeyCount = 5;
const char* const kKeys[kKeyCount] = {kFullscreenKey, kWidthKey, kHeightKey, kBitsPerPixelKey,
                                      kSamplesKey};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

bool isLineBreak(char c) {
    return c == '\r' || c == '\n';
}

// The end of the line starting at `begin`; `next` is where the following line
// starts. CR, LF and CRLF each end a line (old editors wrote CR alone).
std::size_t lineEndFrom(const std::string& text, std::size_t begin, std::size_t& next) {
    const std::size_t end = std::min(text.find_first_of("\r\n", begin), text.size());
    next = end + (end < text.size() ? 1 : 0);
    if (text.compare(end, 2, "\r\n") == 0) {
        next = end + 2;
    }
    return end;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(const std::string& text, std::size_t begin, std::size_t end, const char* name) {
    const std::size_t length = std::strlen(name);
    if (end - begin != length) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (lower(text[begin + i]) != lower(name[i])) {
            return false;
        }
    }
    return true;
}

// Where the five keys and the section stand in a settings text.
struct Layout {
    bool hasSection = false;
    // Missing keys are inserted here; `breakFirst` when that point is the
    // end of a last line without a line break.
    std::size_t insertAt = 0;
    bool breakFirst = false;
    bool found[kKeyCount] = {};
    std::size_t valueBegin[kKeyCount] = {};
    std::size_t valueEnd[kKeyCount] = {};
};

// The bytes of a key line's value: after '=' and blanks, up to a comment,
// without trailing blanks or surrounding quotes. An empty value is the point
// just after '=', where a new value is inserted.
void findValue(const std::string& text, std::size_t equals, std::size_t lineEnd, std::size_t& begin,
               std::size_t& end) {
    begin = equals + 1;
    while (begin < lineEnd && isBlank(text[begin])) {
        ++begin;
    }
    end = begin;
    while (end < lineEnd && text[end] != ';' && text[end] != '#') {
        ++end;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    const bool quoted = end - begin >= 2 && (text[begin] == '"' || text[begin] == '\'') &&
                        text[end - 1] == text[begin];
    if (quoted) {
        ++begin;
        --end;
    } else if (begin == end) {
        begin = end = equals + 1;
    }
}

Layout scan(const std::string& text) {
    Layout layout;
    enum { before, inside } state = before;
    std::size_t lineBegin = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (lineBegin < text.size()) {
        std::size_t next = 0;
        const std::size_t lineEnd = lineEndFrom(text, lineBegin, next);
        const bool hasBreak = lineEnd < text.size();
        std::size_t first = lineBegin;
        std::size_t last = lineEnd;
        while (first < last && isBlank(text[first])) {
            ++first;
        }
        while (last > first && isBlank(text[last - 1])) {
            --last;
        }
        lineBegin = next;
        if (first == last || text[first] == ';' || text[first] == '#') {
            continue;
        }
        // Every search stays inside the line, so a scan is linear in the text.
        std::size_t close = last;
        while (text[first] == '[' && close > first && text[close - 1] != ']') {
            --close;
        }
        if (text[first] == '[' && close > first + 1) {
            if (state == inside) {
                break;  // only the first [Settings] section counts
            }
            if (sameName(text, first + 1, close - 1, kSettingsSection)) {
                state = inside;
                layout.hasSection = true;
                layout.insertAt = next;
                layout.breakFirst = !hasBreak;
            }
            continue;
        }
        if (state != inside) {
            continue;
        }
        layout.insertAt = next;
        layout.breakFirst = !hasBreak;
        const std::size_t equals = static_cast<std::size_t>(
            std::find(text.begin() + static_cast<std::ptrdiff_t>(first),
                      text.begin() + static_cast<std::ptrdiff_t>(last), '=') -
            text.begin());
        if (equals >= last) {
            continue;
        }
        std::size_t keyEnd = equals;
        while (keyEnd > first && isBlank(text[keyEnd - 1])) {
            --keyEnd;
        }
        for (int k = 0; k < kKeyCount; ++k) {
            if (!layout.found[k] && sameName(text, first, keyEnd, kKeys[k])) {
                layout.found[k] = true;
                findValue(text, equals, last, layout.valueBegin[k], layout.valueEnd[k]);
            }
        }
    }
    return layout;
}

// The file's own line break: its first one, LF when it has none.
std::string lineBreakOf(const std::string& text) {
    std::size_t next = 0;
    const std::size_t end = lineEndFrom(text, 0, next);
    return end < text.size() ? text.substr(end, next - end) : "\n";
}

enum class ReadResult { ok, missing, refused };

std::string withReason(const char* what) {
    return std::string(what) + " (" + std::strerror(errno) + ")";
}

// Why the temporary file beside the settings file failed at `step`.
std::string replaceFailed(const char* step, const std::string& temp) {
    return std::string("cannot be replaced (") + step + " " + temp + ": " + std::strerror(errno) +
           ")";
}

// Reads a settings file whole. Opening without blocking and checking the type
// of what was opened keeps a pipe or device from stalling the program.
ReadResult readSettingsFile(const std::string& path, std::string& text, struct stat& info,
                            std::string& problem) {
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return ReadResult::missing;
        }
        problem = withReason("cannot be opened");
        return ReadResult::refused;
    }
    bool ok = fstat(fd, &info) == 0;
    if (ok && !S_ISREG(info.st_mode)) {
        problem = "is not a regular file";
        ::close(fd);
        return ReadResult::refused;
    }
    char buffer[4096];
    while (ok && text.size() <= kMaxSettingsFileSize) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        ok = got >= 0;
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    if (!ok) {
        problem = withReason("cannot be read");
    }
    ::close(fd);
    if (ok) {
        if (const char* why = settingsTextProblem(text)) {
            problem = why;
            ok = false;
        }
    }
    return ok ? ReadResult::ok : ReadResult::refused;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

// The settings file's folder, locked (an advisory lock) from reading the file
// to renaming the new one over it: saves by several programs at once follow
// one another, each editing what the last one wrote. The folder, not the
// file, because a rename replaces the file and a lock on it with it; no lock
// file is left lying around. The lock goes with the process, so a killed save
// leaves none.
struct FolderLock {
    std::string directory;
    std::string name;  // of the settings file in it
    int fd = -1;       // the folder, -1 when it cannot be opened
    bool locked = false;
    FolderLock() = default;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock() {
        if (fd >= 0) {
            ::close(fd);  // releases the lock
        }
    }
};

// How long a save waits for another program's save to finish.
constexpr int kLockWaitMs = 10000;

// Locks the folder of `path`. False, with `problem`, only when another save
// held it for kLockWaitMs; a folder that cannot be opened or locked at all
// (no read permission, a file system without locks) is saved unlocked, as it
// always was.
bool lockFolder(const std::string& path, FolderLock& lock, std::string& problem) {
    const std::size_t slash = path.rfind('/');
    lock.directory = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    lock.name = slash == std::string::npos ? path : path.substr(slash + 1);
    lock.fd = ::open(lock.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int waited = 0; lock.fd >= 0; waited += 10) {
        if (flock(lock.fd, LOCK_EX | LOCK_NB) == 0) {
            lock.locked = true;
            break;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            break;
        }
        if (waited >= kLockWaitMs) {
            problem = "is being saved by another program that has not finished in " +
                      std::to_string(kLockWaitMs / 1000) + " s";
            return false;
        }
        usleep(10000);
    }
    return true;
}

// Whether `entry` is a temporary file of a save of `name`: ".NAME.new" (older
// versions) or ".NAME.PID.new".
bool isTemporaryOf(const std::string& name, const char* entry) {
    const std::size_t prefix = name.size() + 2;
    const std::size_t length = std::strlen(entry);
    if (length < prefix + 3 || entry[0] != '.' ||
        name.compare(0, name.size(), entry + 1, name.size()) != 0 || entry[prefix - 1] != '.' ||
        std::strcmp(entry + length - 3, "new") != 0) {
        return false;
    }
    const std::size_t digits = std::strspn(entry + prefix, "0123456789");
    return prefix + 3 == length ||
           (digits > 0 && prefix + digits + 4 == length && entry[prefix + digits] == '.');
}

// Removes what killed saves left. Under the lock no other save is under way,
// so every temporary file is a leftover.
void removeLeftovers(const FolderLock& lock) {
    const int copy = dup(lock.fd);
    DIR* folder = copy >= 0 ? fdopendir(copy) : nullptr;
    if (folder == nullptr) {
        if (copy >= 0) {
            ::close(copy);
        }
        return;
    }
    while (const dirent* entry = readdir(folder)) {
        if (isTemporaryOf(lock.name, entry->d_name)) {
            unlinkat(lock.fd, entry->d_name, 0);
        }
    }
    closedir(folder);
}

// Writes `text` to a temporary name of this process's own beside the file,
// gives it the file's mode, owner and group (`old`, or a new file's mode when
// null) and renames it over the file: readers see the old file or the new
// one, never a half-written one.
bool replaceFile(const FolderLock& lock, const std::string& text, const struct stat* old,
                 std::string& problem) {
    const std::string path = lock.directory + "/" + lock.name;
    const std::string temp =
        lock.directory + "/." + lock.name + "." + std::to_string(getpid()) + ".new";
    if (lock.locked) {
        removeLeftovers(lock);
    } else if (::unlink(temp.c_str()) != 0 && errno != ENOENT) {
        // Unlocked, only a file of this process id is surely a leftover.
        problem = replaceFailed("removing", temp);
        return false;
    }
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        problem = replaceFailed("creating", temp);
        return false;
    }
    mode_t mode = 0;
    if (old != nullptr) {
        mode = old->st_mode & 07777;
    } else {
        mode = umask(0);
        umask(mode);
        mode = 0666 & ~mode;
    }
    struct stat created;
    bool ok = fstat(fd, &created) == 0;
    // Ownership first: changing it may clear set-id bits of the mode.
    if (ok && old != nullptr && (created.st_uid != old->st_uid || created.st_gid != old->st_gid) &&
        fchown(fd, old->st_uid, old->st_gid) != 0) {
        problem = "belongs to another user or group, which a replacement would not keep";
        ok = false;
    }
    if (ok && !(fchmod(fd, mode) == 0 && writeAll(fd, text) && fsync(fd) == 0)) {
        problem = replaceFailed("writing", temp);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        problem = replaceFailed("writing", temp);
        ok = false;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        problem = replaceFailed("renaming", temp);
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself reaches the disk with the directory.
    if (lock.fd >= 0) {
        fsync(lock.fd);
    }
    return true;
}

}  // namespace

const char* settingsTextProblem(const std::string& text) {
    if (text.size() > kMaxSettingsFileSize) {
        return "is larger than 1 MiB, too large for a settings file";
    }
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 &&
            !(byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' || byte == '\r')) {
            return "holds NUL or control bytes, so it is not a text settings file";
        }
    }
    return nullptr;
}

std::int32_t samplesFromProfile(std::int32_t value) {
    std::int32_t samples = 1;
    while (samples < 8 && samples * 2 <= value) {
        samples *= 2;
    }
    return samples;
}

LinuxSettings readSettingsText(const std::string& text, int desktopDepth) {
    const Layout layout = scan(text);
    std::int32_t values[kKeyCount] = {kDefaultFullscreen, kDefaultWidth, kDefaultHeight,
                                      kDefaultBitsPerPixel, kDefaultSamples};
    for (int k = 0; k < kKeyCount; ++k) {
        if (layout.found[k]) {
            const std::string value =
                text.substr(layout.valueBegin[k], layout.valueEnd[k] - layout.valueBegin[k]);
            values[k] = parseProfileInt(value.c_str(), values[k]);
        }
    }
    return LinuxSettings(
        settingsFromProfile(values[0], values[1], values[2], values[3], desktopDepth),
        samplesFromProfile(values[4]));
}

std::string editSettingsText(const std::string& text, const LinuxSettings& settings) {
    const Layout layout = scan(text);
    const SettingsText formatted = formatSettings(settings);
    const std::string samples = std::to_string(samplesFromProfile(settings.samples));
    const char* const values[kKeyCount] = {formatted.fullscreen, formatted.width, formatted.height,
                                           formatted.bitsPerPixel, samples.c_str()};
    const std::string lineBreak = lineBreakOf(text);
    struct Edit {
        std::size_t begin;
        std::size_t end;
        std::string insert;
    };
    std::vector<Edit> edits;
    std::string missing;
    for (int k = 0; k < kKeyCount; ++k) {
        if (layout.found[k]) {
            edits.push_back({layout.valueBegin[k], layout.valueEnd[k], values[k]});
        } else if (layout.breakFirst) {
            missing += lineBreak + kKeys[k] + "=" + values[k];
        } else {
            missing += std::string(kKeys[k]) + "=" + values[k] + lineBreak;
        }
    }
    if (!layout.hasSection) {
        const bool breakFirst = !text.empty() && !isLineBreak(text.back());
        edits.push_back(
            {text.size(), text.size(),
             (breakFirst ? lineBreak : "") + "[" + kSettingsSection + "]" + lineBreak + missing});
    } else if (!missing.empty()) {
        edits.push_back({layout.insertAt, layout.insertAt, missing});
    }
    // An empty value on the last line and the insertion after it share a
    // place; the value comes first.
    std::stable_sort(edits.begin(), edits.end(),
                     [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
    std::string output;
    output.reserve(text.size() + 128);
    std::size_t copied = 0;
    for (const Edit& edit : edits) {
        output.append(text, copied, edit.begin - copied);
        output += edit.insert;
        copied = edit.end;
    }
    output.append(text, copied, std::string::npos);
    return output;
}

LinuxSettings loadSettingsFile(const std::string& path, int desktopDepth, std::string& problem) {
    problem.clear();
    std::string text;
    struct stat info;
    if (readSettingsFile(path, text, info, problem) != ReadResult::ok) {
        text.clear();
    }
    return readSettingsText(text, desktopDepth);
}

bool saveSettingsFile(const std::string& path, const LinuxSettings& settings,
                      std::string& problem) {
    problem.clear();
    // A link is kept: its target is what gets written.
    std::string target = path;
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char* resolved = realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
            problem = withReason("is a link to no file") + "; the link is kept";
            return false;
        }
        target = resolved;
        std::free(resolved);
    }
    FolderLock lock;
    if (!lockFolder(target, lock, problem)) {
        return false;
    }
    std::string text;
    const ReadResult read = readSettingsFile(target, text, info, problem);
    if (read == ReadResult::refused) {
        return false;
    }
    const bool exists = read == ReadResult::ok;
    const std::string edited = editSettingsText(text, settings);
    if (exists && edited == text) {
        return true;
    }
    // The program's own file must stay readable at its next start.
    if (edited.size() > kMaxSettingsFileSize) {
        problem = "would grow past 1 MiB, the most a settings file may hold";
        return false;
    }
    // Write permission alone is not enough: a file nobody may write (as root
    // may) was made read-only on purpose.
    if (exists && (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 ||
                   (info.st_mode & 0222) == 0)) {
        problem = "is read-only for this user";
        return false;
    }
    return replaceFile(lock, edited, exists ? &info : nullptr, problem);
}
