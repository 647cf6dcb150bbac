#pragma once

// Lines of text over the frame just drawn, for the demo's help, numbers and
// messages: a small built-in bitmap font drawn as OpenGL quads on a dimmed
// box, so it needs no font file and allocates nothing.

enum class TextPlace { TopLeft, Center, Bottom };

// Draws `text` (ASCII, '\n' between lines) at `place` in a client area of
// width x height pixels. Blending, texturing and the matrices are restored
// afterwards, so the next frame starts as usual.
void drawTextBox(const char* text, TextPlace place, int width, int height);
