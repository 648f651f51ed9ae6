// Material blocks: a face selection, four colours and a shininess, applied as one unit.
#pragma once

#include "core/gl_api.h"

struct MaterialBlock {
    GLenum face;  // GL_FRONT or GL_FRONT_AND_BACK
    GLfloat diffuse[4];
    GLfloat specular[4];
    GLfloat ambient[4];
    GLfloat emission[4];
    GLfloat shininess;
};

// Sets the block's diffuse, specular, ambient and emission colours, then its shininess,
// clamped into the 0 to 128 that GL takes. The caller fences it with the attribute stack.
void ApplyMaterial(const MaterialBlock& block);

// Applies block inside a push and pop of GL_LIGHTING_BIT around draw, so the material in
// force before is in force again afterwards.
template <class Draw>
void DrawWithMaterial(const MaterialBlock& block, Draw&& draw)
{
    glPushAttrib(GL_LIGHTING_BIT);
    ApplyMaterial(block);
    draw();
    glPopAttrib();
}
