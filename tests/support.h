#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Helpers shared by the test programs: scratch files and the source tree.
namespace testing_support {

// A fresh, empty directory for this test program's scratch files, and a path in it.
std::string scratchDirectory();
std::string scratchPath(const std::string& name);
bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes);
// A path inside the repository, e.g. sourcePath("data/env.bmp").
std::string sourcePath(const std::string& relative);

}  // namespace testing_support
