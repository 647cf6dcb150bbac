#include "app/sdl/settings_file.h"

#include <fcntl.h>
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

constexpr int kKeyCount = 4;
const char* const kKeys[kKeyCount] = {kFullscreenKey, kWidthKey, kHeightKey, kBitsPerPixelKey};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
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

// Where the four keys and the section stand in a settings text.
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
        std::size_t lineEnd = text.find('\n', lineBegin);
        const bool hasBreak = lineEnd != std::string::npos;
        lineEnd = hasBreak ? lineEnd : text.size();
        const std::size_t next = hasBreak ? lineEnd + 1 : lineEnd;
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
        if (text[first] == '[') {
            const std::size_t close = text.rfind(']', last - 1);
            if (close != std::string::npos && close > first) {
                if (state == inside) {
                    break;  // only the first [Settings] section counts
                }
                if (sameName(text, first + 1, close, kSettingsSection)) {
                    state = inside;
                    layout.hasSection = true;
                    layout.insertAt = next;
                    layout.breakFirst = !hasBreak;
                }
                continue;
            }
        }
        if (state != inside) {
            continue;
        }
        layout.insertAt = next;
        layout.breakFirst = !hasBreak;
        const std::size_t equals = text.find('=', first);
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

std::string lineBreakOf(const std::string& text) {
    const std::size_t newline = text.find('\n');
    return newline != std::string::npos && newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
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

// Writes `text` to the temporary name beside `path`, gives it `path`'s mode,
// owner and group (`old`, or a new file's mode when null) and renames it over
// `path`: readers see the old file or the new one, never a half-written one.
bool replaceFile(const std::string& path, const std::string& text, const struct stat* old,
                 std::string& problem) {
    const std::size_t slash = path.rfind('/');
    const std::string directory =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string temp =
        directory + "/." + (slash == std::string::npos ? path : path.substr(slash + 1)) + ".new";
    // A save killed before its rename left this file behind; it is ours.
    if (::unlink(temp.c_str()) != 0 && errno != ENOENT) {
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
    const int directoryFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directoryFd >= 0) {
        fsync(directoryFd);
        ::close(directoryFd);
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

DisplaySettings readSettingsText(const std::string& text, int desktopDepth) {
    const Layout layout = scan(text);
    std::int32_t values[kKeyCount] = {kDefaultFullscreen, kDefaultWidth, kDefaultHeight,
                                      kDefaultBitsPerPixel};
    for (int k = 0; k < kKeyCount; ++k) {
        if (layout.found[k]) {
            const std::string value =
                text.substr(layout.valueBegin[k], layout.valueEnd[k] - layout.valueBegin[k]);
            values[k] = parseProfileInt(value.c_str(), values[k]);
        }
    }
    return settingsFromProfile(values[0], values[1], values[2], values[3], desktopDepth);
}

std::string editSettingsText(const std::string& text, const DisplaySettings& settings) {
    const Layout layout = scan(text);
    const SettingsText formatted = formatSettings(settings);
    const char* const values[kKeyCount] = {formatted.fullscreen, formatted.width, formatted.height,
                                           formatted.bitsPerPixel};
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
        const bool breakFirst = !text.empty() && text.back() != '\n';
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

DisplaySettings loadSettingsFile(const std::string& path, int desktopDepth, std::string& problem) {
    problem.clear();
    std::string text;
    struct stat info;
    if (readSettingsFile(path, text, info, problem) != ReadResult::ok) {
        text.clear();
    }
    return readSettingsText(text, desktopDepth);
}

bool saveSettingsFile(const std::string& path, const DisplaySettings& settings,
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
    // Write permission alone is not enough: a file nobody may write (as root
    // may) was made read-only on purpose.
    if (exists && (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 ||
                   (info.st_mode & 0222) == 0)) {
        problem = "is read-only for this user";
        return false;
    }
    return replaceFile(target, edited, exists ? &info : nullptr, problem);
}
