#include "app/sdl/settings_file.h"

#define SI_NO_CONVERSION
#include <SimpleIni.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Far beyond any real settings file; a larger one is not ours to rewrite.
constexpr std::size_t kMaxSettingsFileSize = 1 << 20;

enum class ReadResult { ok, missing, failed };

ReadResult readWholeFile(const std::string& path, std::string& text, mode_t& mode) {
    text.clear();
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? ReadResult::missing : ReadResult::failed;
    }
    if (!S_ISREG(info.st_mode) || static_cast<std::size_t>(info.st_size) > kMaxSettingsFileSize) {
        return ReadResult::failed;
    }
    mode = info.st_mode & 07777;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return ReadResult::failed;
    }
    char buffer[4096];
    std::size_t got;
    bool ok = true;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, got);
        if (text.size() > kMaxSettingsFileSize) {
            ok = false;
            break;
        }
    }
    ok = ok && !std::ferror(file);
    std::fclose(file);
    return ok ? ReadResult::ok : ReadResult::failed;
}

// Where the comment lines after the last section or key begin (the text's
// size if there are none). The INI library attaches a comment to what follows
// it and drops these, so they are kept aside and put back after a save.
std::size_t trailingCommentsStart(const std::string& text) {
    std::size_t keepFrom = text.size();
    bool anyComment = false;
    std::size_t lineEnd = text.size();  // one past the line's last character
    while (lineEnd > 0) {
        const std::size_t newline =
            lineEnd >= 2 ? text.rfind('\n', lineEnd - 2) : std::string::npos;
        const std::size_t begin = newline == std::string::npos ? 0 : newline + 1;
        const std::size_t first = text.find_first_not_of(" \t\r\n", begin);
        const bool blank = first == std::string::npos || first >= lineEnd;
        if (!blank && text[first] != ';' && text[first] != '#') {
            break;
        }
        anyComment = anyComment || !blank;
        keepFrom = begin;
        lineEnd = begin;
    }
    return anyComment ? keepFrom : text.size();
}

bool parse(const std::string& text, CSimpleIniA& ini) {
    ini.SetSpaces(false);
    // With several keys of one name the first counts, as on Windows.
    ini.SetMultiKey(true);
    return text.empty() || ini.LoadData(text.data(), text.size()) >= 0;
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
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

// Writes `text` to a fresh file in `path`'s directory and renames it over
// `path`: readers see the old file or the new one, never a half-written one.
bool replaceFile(const std::string& path, const std::string& text, mode_t mode) {
    std::string temp = directoryOf(path) + "/.settings-XXXXXX";
    const int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        return false;
    }
    bool ok = fchmod(fd, mode) == 0 && writeAll(fd, text) && fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
    }
    return ok;
}

}  // namespace

DisplaySettings loadSettingsFile(const std::string& path, int desktopDepth) {
    std::string text;
    mode_t mode = 0;
    CSimpleIniA ini;
    if (readWholeFile(path, text, mode) != ReadResult::ok || !parse(text, ini)) {
        ini.Reset();
    }
    auto value = [&ini](const char* key, std::int32_t defaultValue) {
        return parseProfileInt(ini.GetValue(kSettingsSection, key, nullptr), defaultValue);
    };
    // Read in this order, as the keys are listed.
    const std::int32_t fullscreen = value(kFullscreenKey, kDefaultFullscreen);
    const std::int32_t width = value(kWidthKey, kDefaultWidth);
    const std::int32_t height = value(kHeightKey, kDefaultHeight);
    const std::int32_t bitsPerPixel = value(kBitsPerPixelKey, kDefaultBitsPerPixel);
    return settingsFromProfile(fullscreen, width, height, bitsPerPixel, desktopDepth);
}

bool saveSettingsFile(const std::string& givenPath, const DisplaySettings& settings) {
    // A linked settings file is replaced where it lives, keeping the link.
    std::string path = givenPath;
    if (char* resolved = realpath(givenPath.c_str(), nullptr)) {
        path = resolved;
        std::free(resolved);
    }
    std::string text;
    mode_t mode = 0;
    switch (readWholeFile(path, text, mode)) {
        case ReadResult::ok:
            break;
        case ReadResult::missing: {
            const mode_t mask = umask(0);
            umask(mask);
            mode = 0666 & ~mask;
            break;
        }
        case ReadResult::failed:
            // Rewriting what could not be read would lose its other lines.
            return false;
    }
    const std::size_t tailStart = trailingCommentsStart(text);
    std::string tail = text.substr(tailStart);
    text.resize(tailStart);
    if (!tail.empty() && tail.back() != '\n') {
        tail += '\n';
    }
    CSimpleIniA ini;
    if (!parse(text, ini)) {
        return false;
    }
    const SettingsText values = formatSettings(settings);
    const bool replace = true;  // one key of each name, wherever the first one stood
    if (ini.SetValue(kSettingsSection, kFullscreenKey, values.fullscreen, nullptr, replace) < 0 ||
        ini.SetValue(kSettingsSection, kWidthKey, values.width, nullptr, replace) < 0 ||
        ini.SetValue(kSettingsSection, kHeightKey, values.height, nullptr, replace) < 0 ||
        ini.SetValue(kSettingsSection, kBitsPerPixelKey, values.bitsPerPixel, nullptr, replace) <
            0) {
        return false;
    }
    std::string output;
    if (ini.Save(output) < 0) {
        return false;
    }
    output += tail;
    return replaceFile(path, output, mode);
}
