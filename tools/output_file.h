#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

// Files the tool writes appear whole or not at all: each is written under a
// hidden name beside its final one and renamed into place once complete, so
// a failed or interrupted write never leaves a damaged file under the name
// the user asked for.
//
// The hidden name is this process's own, ".NAME.PID.new" (".NAME.PID.palette"
// for a GIF's palette), created exclusively, so never through a file or link
// already there, and locked while it is written: two runs writing one output
// never share a hidden file, and a later run tells a killed run's leftover
// (unlocked, its process gone) from a live run's. A NAME too long to fit is cut short and ends
// in a hash of itself ("~" and 8 hex digits).
class PartialFile {
public:
    PartialFile() = default;
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    ~PartialFile() { discard(); }

    // Creates the hidden file for `path`; `role` is "new" or "palette".
    bool create(const std::string& path, const char* role, std::string& error);
    int fd() const { return descriptor; }
    const std::string& hiddenPath() const { return hidden; }
    // Renames the hidden file to the path it was created for, provided it is
    // still the file created here; otherwise, or when the rename fails,
    // removes it and says why.
    bool commit(std::string& error);
    // Removes the hidden file (when it is still the one created here).
    void discard();

private:
    bool stillOurs() const;

    std::string target;
    std::string hidden;
    int descriptor = -1;
    dev_t device = 0;
    ino_t inode = 0;
};

// The NAME part of an output's hidden names: the name itself, or when too
// long its start with a hash of the whole.
std::string hiddenStem(const std::string& name);

// Removes what killed runs left in `folder`: hidden files (of either role)
// whose stem `ours` accepts, that are regular files of this user, that no
// live run holds locked and whose process is gone. Nothing else is touched.
void removeLeftovers(const std::string& folder,
                     const std::function<bool(const std::string& stem)>& ours);
