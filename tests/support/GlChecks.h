#pragma once

// Checks and set-up shared by the GL tests.

#include "SceneStartup.h"

#include <GL/gl.h>
#include <QTest>

// The GL recorded no error since the last check (glGetError clears the flag it reports).
#define VERIFY_NO_GL_ERROR() QCOMPARE(glGetError(), GLenum(GL_NO_ERROR))
