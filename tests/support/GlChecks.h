#pragma once

// Checks and set-up shared by the GL tests.

#include "SceneStartup.h"

#include <GL/gl.h>
#include <QTest>

// The GL recorded no error since the last check (glGetError clears the flag it reports).
#define VERIFY_NO_GL_ERROR() QCOMPARE(glGetError(), GLenum(GL_NO_ERROR))

// One integer state, as glGetIntegerv reads it.
inline GLint integerState(GLenum name)
{
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

// Texture objects alive in the current context among the first 65536 names: GL hands names out
// from 1, so this covers every texture the program, Qt's composition and the tests create; a
// leaked texture is one more, a lost one one fewer.
inline int liveTextures()
{
    int live = 0;
    for (GLuint name = 1; name <= 65536u; ++name)
        live += glIsTexture(name) ? 1 : 0;
    return live;
}
