#include "tools/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string partialPath(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, name) + "." + path.substr(name) + ".new";
}

bool commitPartial(const std::string& partial, const std::string& path, std::string& error) {
    if (std::rename(partial.c_str(), path.c_str()) == 0)
        return true;
    error = path + ": " + std::strerror(errno);
    std::remove(partial.c_str());
    return false;
}
