#include "tests/support.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace testing_support {

std::string scratchDirectory() {
    static const std::string directory = [] {
        const std::filesystem::path path =
            std::filesystem::temp_directory_path() /
            ("glasswake-test-" + std::to_string(std::random_device()()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return directory;
}

std::string scratchPath(const std::string& name) {
    return scratchDirectory() + "/" + name;
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    file.close();
    return !file.fail();
}

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream file(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return file.is_open();
}

std::string sourcePath(const std::string& relative) {
    return std::string(GLASSWAKE_SOURCE_DIR) + "/" + relative;
}

}  // namespace testing_support
