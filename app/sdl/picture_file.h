#pragma once

#include <string>
#include <vector>

// Saves the demo's picture (key P) as a PNG file in a folder, never over a
// file already there: the file is written under a hidden name of its own,
// created exclusively (so no other file or link is ever opened), flushed to
// disk and then renamed to the first free name glasswake-YYYYMMDD-HHMMSS.png,
// -2.png, -3.png and so on. A failure leaves nothing behind.
//
// `rows` holds width x height RGB pixels, bottom row first (as OpenGL reads
// them). Makes the folder when it is missing. The path written, or false with
// `problem` naming what failed and why.
bool savePicture(const std::string& folder, const std::vector<unsigned char>& rows, int width,
                 int height, std::string& path, std::string& problem);
