#pragma once

#include <string>

// Writes text to path whole or not at all; on failure says why in failure.
bool writeTextFile(const std::string& path, const std::string& text, std::string& failure);

// The scenes make-data --scene-example writes beside the shipped set, made
// from code: scene.toml (the shipped scene), gem.toml (crystal 2 a faceted gem
// of 201 facets, gem.obj), brilliant.toml (the gem cut with 501 facets,
// brilliant.obj: a scene the standard frame memory does not hold) and
// prism.toml (crystal 2 a tall twelve-sided prism, prism.obj). Each names its files by their plain
// names. False with failure set when a file cannot be written.
bool writeExampleScenes(const std::string& directory, std::string& failure);
