#pragma once

#include <string>

#include "app/shell_rules.h"

// The settings file on Linux: an INI file edited in place, so every other
// section, key and comment in it survives a save.

// Reads the four keys of section "Settings" from `path`. A missing or
// unreadable file and missing keys give the defaults; `desktopDepth` stands in
// for a BitsPerPixel of 0. Case is ignored in section and key names, and of a
// key given twice the first one counts.
DisplaySettings loadSettingsFile(const std::string& path, int desktopDepth);

// Writes the four keys into section "Settings" of `path`, creating the file or
// the section when missing and keeping the rest of the file. The new text goes
// to a temporary file beside it that is then renamed over the old one, so an
// interrupted save never leaves a damaged file. Returns false, leaving the old
// file as it was and no temporary file behind, when the file cannot be read
// back in full or the new one cannot be written.
bool saveSettingsFile(const std::string& path, const DisplaySettings& settings);
