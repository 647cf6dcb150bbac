#pragma once

// The one place the core reaches the GL headers. On Windows the GL header
// needs the calling-convention macros from <windows.h>, so that comes first;
// nothing else of the platform is used.
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif
#include <GL/gl.h>
#include <GL/glu.h>
