// Material blocks: the order and fencing of their application, and GL's shininess limit.
#include "models/material.h"
#include "tests/support/gl_test.h"

namespace {

class MaterialTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlToSceneBaseline(); }
};

const MaterialBlock kBlock = {
    GL_FRONT, {0.1f, 0.2f, 0.3f, 0.4f}, {0.5f, 0.6f, 0.7f, 0.8f}, {0.9f, 0.8f, 0.7f, 0.6f}, {0.05f, 0.04f, 0.03f, 1.0f},
    42.0f};

TEST_F(MaterialTest, BlockSetsItsFacesOnlyAndThePopBringsTheOldMaterialBack)
{
    ExpectLeavesGlStateAsFound([] {
        DrawWithMaterial(kBlock, [] {
            GLfloat front[4], back[4], shininess;
            glGetMaterialfv(GL_FRONT, GL_SPECULAR, front);
            glGetMaterialfv(GL_BACK, GL_SPECULAR, back);
            glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
            EXPECT_EQ(front[2], 0.7f);
            EXPECT_EQ(back[2], 0.0f) << "a front block must leave the back material alone";
            EXPECT_EQ(shininess, 42.0f);
            GLfloat ambient[4], emission[4], diffuse[4];
            glGetMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
            glGetMaterialfv(GL_FRONT, GL_EMISSION, emission);
            glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
            EXPECT_EQ(ambient[0], 0.9f);
            EXPECT_EQ(emission[1], 0.04f);
            EXPECT_EQ(diffuse[3], 0.4f);
        });
    });
}

TEST_F(MaterialTest, ShininessBeyondGlsLimitIsClampedWithoutAGlError)
{
    MaterialBlock tight = kBlock;
    tight.shininess = 150.0f;  // the evergreen ring asks for this much
    DrawWithMaterial(tight, [] {
        GLfloat shininess;
        glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
        EXPECT_EQ(shininess, 128.0f);
    });
    ExpectNoGlError();
}

}  // namespace
