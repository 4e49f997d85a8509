#pragma once

// Shared set-up of the world's GL tests: the baseline render state of the window's start-up.

#include "GlChecks.h"
#include "GlTestPanel.h"
#include "GlView.h"

#include <GL/gl.h>
#include <QtTest>
#include <array>
#include <cmath>
#include <vector>

// The state the window leaves before its first frame: the GL view's baseline, a 45-degree
// perspective with far plane 50, and linear fog from 7 to 45 in light grey.
inline void setUpViewerState(GlTestPanel& panel)
{
    panel.makeCurrent();
    initRenderState(panel.panel());
    glView.setPerspective(45.0f, 50.0f);
    enableStartupFog();
}

inline std::array<GLfloat, 16> modelviewMatrix()
{
    std::array<GLfloat, 16> m{};
    glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
    return m;
}

// Level 0 of a texture's alpha channel as floats, read back from GL.
inline std::vector<float> readAlphaTexture(GLenum target, GLuint texture)
{
    glBindTexture(target, texture);
    GLint width = 0;
    GLint height = 1;
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_WIDTH, &width);
    if (target == GL_TEXTURE_2D)
        glGetTexLevelParameteriv(target, 0, GL_TEXTURE_HEIGHT, &height);
    std::vector<float> texels(std::size_t(width) * std::size_t(height), -1.0f);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(target, 0, GL_ALPHA, GL_FLOAT, texels.data());
    return texels;
}

// How far a read-back texel may lie from the float uploaded: half a step of the stored alpha
// (the driver picks the precision of GL_ALPHA), plus two 16-bit steps, because GLU's 1D mipmap
// build passes the image through 16-bit integers before GL sees it.
inline double alphaTolerance(GLenum target, GLuint texture)
{
    glBindTexture(target, texture);
    GLint bits = 0;
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_ALPHA_SIZE, &bits);
    const double glu = 2.0 / 65535.0;
    if (bits <= 0 || bits >= 24)
        return glu;
    return 0.5 / (std::ldexp(1.0, bits) - 1.0) + glu;
}
