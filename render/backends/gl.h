#pragma once

// The one place the core reaches the GL headers. On Windows the GL headers
// need three calling-convention macros; they are given here instead of
// <windows.h>, whose names (GDI's Polygon among them) would clash with the
// core's own types.
#if defined(_WIN32) && !defined(APIENTRY)
#define APIENTRY __stdcall
#define WINGDIAPI __declspec(dllimport)
#define CALLBACK __stdcall
#define GLASSWAKE_OWN_GL_MACROS
#endif
#include <GL/gl.h>
#include <GL/glu.h>
#ifdef GLASSWAKE_OWN_GL_MACROS
// Leaves the names free for <windows.h> in a file that also includes it.
#undef APIENTRY
#undef WINGDIAPI
#undef CALLBACK
#undef GLASSWAKE_OWN_GL_MACROS
#endif
