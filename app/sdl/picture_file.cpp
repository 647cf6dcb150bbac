#include "app/sdl/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/linux_paths.h"
#include "app/png_encoder.h"

namespace {

constexpr int kMaxNameTries = 1000;

std::string reason(const std::string& what, int error) {
    return what + " (" + std::strerror(error) + ")";
}

// Writes the PNG into a new hidden file in `folder`; its name in `hidden`.
bool writeHidden(const std::string& folder, const std::vector<unsigned char>& rows, int width,
                 int height, std::string& hidden, std::string& problem) {
    hidden = folder + "/.glasswake.png.XXXXXX";
    const int fd = mkstemp(hidden.data());
    if (fd < 0) {
        problem = reason("cannot create a file in " + folder, errno);
        return false;
    }
    // A picture is for sharing: readable as the umask allows, as any new file.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    // The PNG through a copy of the descriptor, which fclose closes.
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    std::FILE* file = copy >= 0 ? fdopen(copy, "wb") : nullptr;
    std::string why = file ? "" : std::strerror(errno);
    if (file) {
        encodePng(file, width, height, rows.data(), PixelOrder::RgbBottomUp, why);
        if (std::fclose(file) != 0 && why.empty()) {
            why = std::strerror(errno);
        }
    } else if (copy >= 0) {
        close(copy);
    }
    if (why.empty() && fsync(fd) != 0) {
        why = std::strerror(errno);
    }
    if (close(fd) != 0 && why.empty()) {
        why = std::strerror(errno);
    }
    if (!why.empty()) {
        problem = "cannot write " + hidden + " (" + why + ")";
        unlink(hidden.c_str());
        return false;
    }
    return true;
}

// Renames `from` to `to` unless `to` exists (errno EEXIST then). Where the
// file system cannot rename so, a hard link does the same.
bool placeWithoutReplacing(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL || link(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    unlink(from.c_str());
    return true;
}

}  // namespace

bool savePicture(const std::string& folder, const std::vector<unsigned char>& rows, int width,
                 int height, std::string& path, std::string& problem) {
    if (width <= 0 || height <= 0 || rows.size() < static_cast<std::size_t>(width) * height * 3) {
        problem = "there is no picture to save";
        return false;
    }
    std::string hidden;
    if (!makeParentFolders(folder + "/", problem) ||
        !writeHidden(folder, rows, width, height, hidden, problem)) {
        return false;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    for (int attempt = 1; attempt <= kMaxNameTries; ++attempt) {
        char name[64];
        if (attempt == 1) {
            std::snprintf(name, sizeof name, "glasswake-%s.png", stamp);
        } else {
            std::snprintf(name, sizeof name, "glasswake-%s-%d.png", stamp, attempt);
        }
        path = folder + "/" + name;
        if (placeWithoutReplacing(hidden, path)) {
            return true;
        }
        if (errno != EEXIST) {
            problem = reason("cannot name the picture " + path, errno);
            break;
        }
        if (attempt == kMaxNameTries) {
            problem = "every name glasswake-" + std::string(stamp) + "-N.png is taken";
        }
    }
    unlink(hidden.c_str());
    return false;
}
