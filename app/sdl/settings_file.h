#pragma once

#include <string>

#include "app/shell_rules.h"
#include "scene/scene_constants.h"

// The Linux demo's settings: the four display keys the Windows program
// shares, and its own Samples (per pixel: 1, 2, 4 or 8; asked of the GL
// surface, falling back to 1 where not offered).
constexpr const char* kSamplesKey = "Samples";
struct LinuxSettings : DisplaySettings {
    std::int32_t samples = kDefaultSamples;
    LinuxSettings() = default;
    LinuxSettings(const DisplaySettings& display, std::int32_t samplesPerPixel = kDefaultSamples)
        : DisplaySettings(display), samples(samplesPerPixel) {}
};

// A Samples value as read: 1 or less gives 1, 8 or more 8, anything between
// the next lower power of two.
std::int32_t samplesFromProfile(std::int32_t value);

// The settings file on Linux, read the way the profile calls read it and
// edited in place: a save changes only the value bytes of the five keys and
// keeps every other byte (line ends, byte order mark, spacing, comments,
// other sections, repeated keys and sections).
//
// Reading: CR, LF and CRLF each end a line, and new lines end like the
// file's first. The first section whose bracketed name is "Settings" counts,
// and in it the first line of each key; section and key names are compared
// without case, key names and values without surrounding blanks. A value ends
// before a ';' or '#' (a trailing comment) and may be quoted. Lines starting
// with ';' or '#' are comments; lines without '=' are neither keys nor removed.

// Why `text` is not a text settings file this program may parse or rewrite:
// more than 1 MiB, or a control byte other than tab, line feed, vertical tab,
// form feed and carriage return (NUL included, so binary data and UTF-16 text
// are refused). Null when it is one. Bytes above 127 are allowed, as files
// written in a Windows code page have them.
const char* settingsTextProblem(const std::string& text);

// The settings `text` holds; missing keys give the defaults and
// `desktopDepth` stands in for a BitsPerPixel of 0.
LinuxSettings readSettingsText(const std::string& text, int desktopDepth);

// `text` with the five values of `settings`: each key's first line in the
// first [Settings] section gets the new value in place of the old one; missing
// keys go after that section's last line that is neither blank nor a comment;
// a missing section goes at the end of the file. Linear in the text's length.
std::string editSettingsText(const std::string& text, const LinuxSettings& settings);

// Reads `path`. A missing file gives the defaults and an empty `problem`. A
// file that is not a regular file, cannot be read or fails
// settingsTextProblem gives the defaults and `problem` says why; such a file
// is not ours to rewrite. Never blocks on a special file.
LinuxSettings loadSettingsFile(const std::string& path, int desktopDepth, std::string& problem);

// Writes the five values into `path` through editSettingsText, creating the
// file when missing. A symbolic link is kept and its target written. The
// file's folder is locked (an advisory lock, waited for up to 10 s) from
// reading the file to replacing it, so saves by several programs at once
// follow one another and none is lost or mixed with another. The new text goes
// to a temporary name of this process's own beside the file (leftovers of
// killed saves are removed), is flushed to disk and renamed over the old file
// with its mode, owner and group. Returns false with `problem` saying why,
// leaving the file as it was, when it is not a text settings file, is a link
// to nothing, is read-only or not writable by this user, belongs to another
// user, would grow past 1 MiB (so it stays readable), or the new file cannot
// be written. When nothing changes, nothing is written and the result is true
// whatever the file's permissions.
bool saveSettingsFile(const std::string& path, const LinuxSettings& settings, std::string& problem);
