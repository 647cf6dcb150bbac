#include "tests/support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

namespace testing_support {

std::string scratchDirectory() {
    static std::string directory;
    if (directory.empty()) {
        std::random_device random;
        const std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("glasswake-test-" + std::to_string(random()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        directory = path.string();
    }
    return directory;
}

std::string scratchPath(const std::string& name) {
    return scratchDirectory() + "/" + name;
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), bytes.size(), 1, file) == 1;
    return std::fclose(file) == 0 && ok;
}

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return false;
    }
    std::uint8_t buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    std::fclose(file);
    return true;
}

std::string sourcePath(const std::string& relative) {
    return std::string(GLASSWAKE_SOURCE_DIR) + "/" + relative;
}

}  // namespace testing_support
