#pragma once

// Checks and set-up shared by the GL tests.

#include <GL/gl.h>
#include <QTest>

// The GL recorded no error since the last check (glGetError clears the flag it reports).
#define VERIFY_NO_GL_ERROR() QCOMPARE(glGetError(), GLenum(GL_NO_ERROR))

// The fog the window's start-up switches on: linear from 7 to 45 world units, light grey.
inline void enableViewerFog()
{
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, 7.0f);
    glFogf(GL_FOG_END, 45.0f);
    const GLfloat fogColour[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    glFogfv(GL_FOG_COLOR, fogColour);
}
