#pragma once

// A point of the projected plane: x to the right, y up. Filled once by whoever
// takes it and never changed, so any number of polygons may share it.
struct Point2 {
    float x = 0.0f;
    float y = 0.0f;
};
