#pragma once

// Compiles and links one shader program: the same calls on desktop GL 2.0
// and on WebGL 1, so include this after the build's own GL header. The
// attributes are bound to locations 0, 1, … in the order given.

#include <cstddef>
#include <cstdio>
#include <initializer_list>

// WebGL fragment shaders must name a float precision: the highest the device has.
constexpr const char* kWebGlFragmentPreamble =
    "#ifdef GL_FRAGMENT_PRECISION_HIGH\n"
    "precision highp float;\n"
    "#else\n"
    "precision mediump float;\n"
    "#endif\n";

// Why the last program was not built: the step that failed and the GL log,
// on one line; empty after a success. Fixed storage, so reporting never
// allocates. A shell shows it with its start-up failure.
struct ShaderFailure {
    char text[512] = {};
};
inline ShaderFailure shaderFailure;

// Records the failure with its log (line breaks made spaces) and prints it
// as one line on stderr.
inline void reportShaderFailure(const char* step, const char* log) {
    const int prefix = std::snprintf(shaderFailure.text, sizeof shaderFailure.text, "%s: ", step);
    std::size_t at = prefix > 0 ? std::size_t(prefix) : 0;
    for (; *log != '\0' && at + 1 < sizeof shaderFailure.text; ++log) {
        const bool space = *log == '\n' || *log == '\r' || *log == '\t';
        if (!(space && (at == 0 || shaderFailure.text[at - 1] == ' '))) {
            shaderFailure.text[at++] = space ? ' ' : *log;
        }
    }
    while (at > 0 && shaderFailure.text[at - 1] == ' ') {
        --at;
    }
    shaderFailure.text[at] = '\0';
    std::fprintf(stderr, "%s\n", shaderFailure.text);
}

inline GLuint compileShader(GLenum kind, const char* preamble, const char* source) {
    const GLuint shader = glCreateShader(kind);
    const char* parts[2] = {preamble, source};
    glShaderSource(shader, 2, parts, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        char log[480] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        reportShaderFailure(kind == GL_VERTEX_SHADER ? "the vertex shader does not compile"
                                                     : "the fragment shader does not compile",
                            log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// 0 when either shader does not compile or the program does not link; then
// shaderFailure says why. The fragment source follows fragmentPreamble.
inline GLuint linkShaderProgram(const char* vertexSource, const char* fragmentSource,
                                std::initializer_list<const char*> attributes,
                                const char* fragmentPreamble = "") {
    shaderFailure.text[0] = '\0';
    const GLuint vertex = compileShader(GL_VERTEX_SHADER, "", vertexSource);
    const GLuint fragment =
        vertex != 0 ? compileShader(GL_FRAGMENT_SHADER, fragmentPreamble, fragmentSource) : 0;
    GLuint program = 0;
    if (vertex != 0 && fragment != 0) {
        program = glCreateProgram();
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        GLuint location = 0;
        for (const char* name : attributes) {
            glBindAttribLocation(program, location++, name);
        }
        glLinkProgram(program);
        GLint linked = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        if (linked != GL_TRUE) {
            char log[480] = {};
            glGetProgramInfoLog(program, sizeof log, nullptr, log);
            reportShaderFailure("the shader program does not link", log);
            glDeleteProgram(program);
            program = 0;
        }
    }
    // Deleting the shaders now frees them with the program.
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    return program;
}
