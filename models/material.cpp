#include "models/material.h"

#include <algorithm>

namespace {

// OpenGL 1.1 takes shininess from 0 to 128 and ignores anything else with an error, which
// would leave the surface with whatever exponent was in force (often 0: a flat sheen).
constexpr GLfloat kMaxShininess = 128.0f;

}  // namespace

void ApplyMaterial(const MaterialBlock& block)
{
    glMaterialfv(block.face, GL_DIFFUSE, block.diffuse);
    glMaterialfv(block.face, GL_SPECULAR, block.specular);
    glMaterialfv(block.face, GL_AMBIENT, block.ambient);
    glMaterialfv(block.face, GL_EMISSION, block.emission);
    glMaterialf(block.face, GL_SHININESS, std::clamp(block.shininess, 0.0f, kMaxShininess));
}
