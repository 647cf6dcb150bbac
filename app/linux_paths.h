#pragma once

#include <string>
#include <vector>

// Where the Linux programs look for their data and keep their settings, so an
// installed copy runs from any folder. The scene itself only ever opens
// "data/..." relative to the working directory; the programs move there.

// `folder` + "/" + `name` with one slash between them, however many the
// folder ends with: "/" and "data" make "/data", not "//data".
std::string joinPath(const std::string& folder, const std::string& name);

// The folder of the running executable, from /proc/self/exe; empty when the
// system does not say.
std::string executableFolder();

// The folders that may hold data/, in the order they are tried: the working
// directory, then <exeFolder>/../share/glasswake (the installed data, found
// relative to the program so a moved prefix still works; the build's install
// layout decides the exact path). No second entry
// when `exeFolder` is empty.
std::vector<std::string> dataRootCandidates(const std::string& exeFolder);

// Whether `root`/data holds every file the scene loads, each a regular file.
bool holdsDataSet(const std::string& root);

// The first candidate that holds the data set. False when none does; `tried`
// then names every data folder looked in, comma-separated.
bool findDataRoot(const std::vector<std::string>& candidates, std::string& root,
                  std::string& tried);

// Moves to the first candidate holding the data set. When none does, stays
// put and prints "PROGRAM: ... looked in: ..." on standard error, so the
// start-up failure that follows can be traced.
void enterFoundDataRoot(const char* program);

// The home folder of this user in the user database (passwd); empty when it
// names none.
std::string userDatabaseHome();

// The settings file: $XDG_CONFIG_HOME/glasswake/Brightforge.INI, or
// $HOME/.config/glasswake/Brightforge.INI when that variable is unset, empty
// or relative (as the base directory rules ask). When HOME is unset, empty or
// relative too, `databaseHome` (the user database's home) stands in for it
// and `note` says so; never the working directory, where a file would be
// left behind in whatever folder the program was started from. When that is
// no absolute folder either, the result is empty (no settings file: the
// defaults, nothing saved) and `note` says so. `note` is empty otherwise.
std::string settingsFilePath(const char* xdgConfigHome, const char* home,
                             const std::string& databaseHome, std::string& note);

// The folder `key` (such as "XDG_PICTURES_DIR") names in the text of a
// user-dirs.dirs file, as the user's desktop writes it: lines KEY="$HOME/..."
// or KEY="/...", a backslash taking the next character as it is, # comments;
// the last such line counts. Empty when no line names an absolute folder.
std::string userDirsFolder(const std::string& text, const std::string& key,
                           const std::string& home);

// Where pictures are saved: $XDG_PICTURES_DIR; else the folder the user's
// user-dirs.dirs names (in $XDG_CONFIG_HOME, else ~/.config); else ~/Pictures.
// The home is found as for the settings, `note` saying when the user
// database's stands in. Empty when there is no absolute folder to use.
std::string picturesFolder(const char* xdgPicturesDir, const char* xdgConfigHome, const char* home,
                           const std::string& databaseHome, std::string& note);

// Makes the folders above `path` that are missing, each private to the user
// (mode 0700, as the base directory rules ask). False with `problem` saying
// which folder and why when one cannot be made.
bool makeParentFolders(const std::string& path, std::string& problem);
