#pragma once

#include <string>

// `--scene FILE`, shared by render, bench, info and check: the file is read
// and becomes the scene PreInit sets up, instead of the data folder's.

// Reads the scene file; on failure prints "glasswake-tool COMMAND: FILE:
// reason" and returns false.
bool useSceneFile(const char* command, const std::string& path);

// Sets the scene up without drawing (PreInit), prints one line per object
// and for the picture, and any mend a reader made ("FILE: turned round:
// ..."); false after printing what stopped it. Leaves nothing running.
bool reportScene(const char* command);
