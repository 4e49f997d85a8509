#pragma once

#include <GL/gl.h>

// The depth pre-pass's state, shared by the designed window's pass and the levels' passes.
// beginDepthPassState switches off, in this order, 2D texturing, lighting, fog, blending, the
// alpha test and face culling, sets the current colour to (0, 0, 0, 0) and enables the vertex
// array; endDepthPassState disables the vertex array and switches the six states on again in
// the reverse order. The pass between them writes depth and black.
inline void beginDepthPassState()
{
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_CULL_FACE);
    glColor4f(0.0f, 0.0f, 0.0f, 0.0f);
    glEnableClientState(GL_VERTEX_ARRAY);
}

inline void endDepthPassState()
{
    glDisableClientState(GL_VERTEX_ARRAY);
    glEnable(GL_CULL_FACE);
    glEnable(GL_ALPHA_TEST);
    glEnable(GL_BLEND);
    glEnable(GL_FOG);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
}
