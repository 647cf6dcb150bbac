#pragma once

// Where the page draws with several samples per pixel: a multisampled
// renderbuffer of the canvas's size (WebGL 2), resolved into the canvas after
// each frame, so the canvas, its PNG and its recording show the smoothed
// picture. WebGL 1 fixes its samples when the context is made; with a
// renderbuffer of its own the page can switch them (key M) on the same
// context. Plain struct: call destroy() before the context goes.
struct SampleTarget {
    int samples = 1;  // in effect: 1 draws straight into the canvas
    int width = 0;
    int height = 0;
    unsigned framebuffer = 0;
    unsigned color = 0;

    // The most samples the current context offers for the target (1 on WebGL 1).
    static int offered();
    // Draws with `count` samples from the next begin(); false, with 1 in
    // effect, when the context does not offer that many.
    bool choose(int count);
    // Makes the target (sized to the frame) what the frame is drawn into.
    void begin(int frameWidth, int frameHeight);
    // Resolves the samples into the canvas and makes the canvas current.
    void resolve() const;
    // Forgets the GL objects (deletes them when `live`, a context current).
    void destroy(bool live);
};
