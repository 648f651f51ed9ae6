#include "models/material.h"

void ApplyMaterial(const MaterialBlock& block)
{
    glMaterialfv(block.face, GL_DIFFUSE, block.diffuse);
    glMaterialfv(block.face, GL_SPECULAR, block.specular);
    glMaterialfv(block.face, GL_AMBIENT, block.ambient);
    glMaterialfv(block.face, GL_EMISSION, block.emission);
    glMaterialf(block.face, GL_SHININESS, block.shininess);
}
