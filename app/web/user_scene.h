#pragma once

// The visitor's own scene on the page. The page's script reads the files
// dropped on it or picked (they never leave the visitor's machine) and
// writes them into the module's file system, each set in a folder of its
// own, "/user/N/"; the same readers as the desktop programs' then load them:
//
// - a scene file (*.toml) with the files it names: that scene;
// - a picture (BMP, PNG or JPEG, told by its first bytes): the sky of the
//   scene shown;
// - meshes (LWOB, or *.obj), up to three, in name order: in place of
//   crystals 1, 2 and 3, each scaled and moved to stand where that crystal
//   stands in the shipped scene;
// - a picture and meshes together: both.
//
// Only between frames (from the page's events, never inside a frame): a load
// allocates. A set that cannot be used is refused with the reason
// (userSceneFailure) and the scene shown stays as it was.

// Loads the set in "/user/<folder>/"; false when refused.
bool openUserFiles(int folder);
// Back to the shipped scene; false (with the reason) only when the
// graphics could not take its picture.
bool openShippedScene();
// Why the last open was refused, with the files' own names ("gem.obj: line
// 12: the face uses vertex 40 of 36").
const char* userSceneFailure();
