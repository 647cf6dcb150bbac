#pragma once

#include <string>

// Files the tool writes appear whole or not at all: each is written under a
// hidden name beside its final one and renamed into place once complete, so
// a failed or interrupted write never leaves a damaged file under the name
// the user asked for (a leftover hidden file from a killed run is replaced).

// "dir/.name.new" for "dir/name".
std::string partialPath(const std::string& path);

// Renames the finished partial file to path; on failure removes it and says why.
bool commitPartial(const std::string& partial, const std::string& path, std::string& error);
