#pragma once

#include <string>

#include "assets/file_stream.h"
#include "assets/scene_object.h"
#include "math/color.h"
#include "math/vector3.h"

// A scene of one's own: the picture and, per object, the mesh, where it goes
// and how it looks. Written as a small TOML file:
//
//   picture = "sky.jpg"
//   [base]
//   mesh = "base.obj"
//   [crystal1]
//   mesh = "gem.obj"
//   scale = 0.5                        # optional, about the origin, > 0
//   offset = [0.0, 1.0, 0.0]           # optional, after the scale
//   base-color = [1.0, 1.0, 1.0, 0.5]  # optional, r g b a
//   reflect-color = [1.0, 1.0, 1.0, 0.5]
//   refract-color = [1.0, 1.0, 1.0, 0.35]
//   refractive-index = 1.33
//
// with [crystal2] and [crystal3] alike. Paths are relative to the scene
// file's folder. An omitted value keeps the shipped scene's.

struct ObjectDescription {
    std::string mesh;
    float scale = 1.0f;
    Vector3 offset;
    Color baseColor = kObjectBaseColor;
    Color reflectColor = kObjectReflectColor;
    Color refractColor = kObjectRefractColor;
    float refractiveIndex = kObjectRefractiveIndex;
};

struct SceneDescription {
    std::string picture;
    ObjectDescription objects[4];  // the base, then crystals 1 to 3
};

// The table names of the four objects, in index order.
inline constexpr const char* kSceneObjectNames[4] = {"base", "crystal1", "crystal2", "crystal3"};
// Largest scene file read.
constexpr long kMaxSceneFileBytes = 1 << 20;

// Reads a scene file; false with failure set ("line 3: ...") for a file that
// is not TOML, lacks the picture or a mesh, names an unknown table or key, or
// gives a value out of range.
bool readSceneFile(const char* path, SceneDescription& scene, ReadFailure& failure);

// path made absolute from the working directory (unchanged when it already
// is, or the directory cannot be told), so the files it names stay found
// after a program moves to its data folder.
std::string absoluteScenePath(const std::string& path);

// The scene file for a description whose paths are already the text to write.
std::string sceneFileText(const SceneDescription& scene);
