#pragma once

// Compiles and links one shader program: the same calls on desktop GL 2.0
// and on WebGL 1, so include this after the build's own GL header. The
// attributes are bound to locations 0, 1, … in the order given.

#include <initializer_list>

inline GLuint compileShader(GLenum kind, const char* source) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// 0 when either shader does not compile or the program does not link.
inline GLuint linkShaderProgram(const char* vertexSource, const char* fragmentSource,
                                std::initializer_list<const char*> attributes) {
    const GLuint vertex = compileShader(GL_VERTEX_SHADER, vertexSource);
    const GLuint fragment = compileShader(GL_FRAGMENT_SHADER, fragmentSource);
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
            glDeleteProgram(program);
            program = 0;
        }
    }
    // Deleting the shaders now frees them with the program.
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    return program;
}
