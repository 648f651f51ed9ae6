#include "view/panel.h"

#include "core/files.h"
#include "core/scene_host.h"
#include "models/material.h"
#include "res/texts.h"

#include "core/gl_api.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const kPanelFile = "panel.bmp";

// The header is skipped unread: 56 bytes, two more than a standard picture file has.
constexpr std::size_t kPanelSkipBytes = 56;

// Lit like any surface, with a faint green glow of its own.
const MaterialBlock kPanelMaterial = {
    GL_FRONT_AND_BACK,
    {0.25f, 0.25f, 0.25f, 1.0f},  // diffuse
    {0.5f, 0.5f, 0.5f, 1.0f},     // specular
    {0.2f, 0.2f, 0.2f, 1.0f},     // ambient
    {0.05f, 0.1f, 0.05f, 1.0f},   // emission
    50.0f,                        // shininess
};

// The panel spans x and y from -22 to 22 in cells of one unit; one copy of the picture
// covers 4 x 4 cells.
constexpr int kPanelHalf = 22;
constexpr int kCellsPerCopy = 4;
constexpr float kTexStep = 0.25f;

}  // namespace

void DecodePanelTexels(std::FILE* file, std::uint8_t* texels)
{
    // Every byte the file does not have reads as the low byte of EOF: 255.
    std::vector<std::uint8_t> bytes(kPanelSkipBytes + kPanelTexelBytes, 0xFF);
    std::size_t got = 0;
    while (got < bytes.size()) {
        const std::size_t n = std::fread(bytes.data() + got, 1, bytes.size() - got, file);
        if (n == 0)
            break;
        got += n;
    }
    // Each texel takes three bytes in the order red, blue, green. Over a standard picture
    // this lands green and blue one pixel later than red; pictures made for the panel
    // are stored with that in mind.
    const std::uint8_t* in = bytes.data() + kPanelSkipBytes;
    for (std::size_t k = 0; k < kPanelTexelBytes; k += 3) {
        texels[k + 0] = in[k + 0];
        texels[k + 2] = in[k + 1];
        texels[k + 1] = in[k + 2];
    }
}

void ReadPanelTexels(SceneState& state, const std::string& installedFolder)
{
    std::string reason;
    std::FILE* file = OpenRegularFile(kPanelFile, reason);
    // The box only says the picture is missing; a terminal also learns why, and where.
    std::string failure = std::string("cannot read ") + kPanelFile + " in " + ShownName(CurrentFolder()) + ": " +
                          reason;
    if (!file && !installedFolder.empty()) {
        const std::string installed = installedFolder + "/" + kPanelFile;
        file = OpenRegularFile(installed.c_str(), reason);
        failure += ", nor in " + ShownName(installedFolder) + ": " + reason;
    }
    if (!file)
        FatalSceneError(kTextPanelMissing, kTextAppName, MessageOwner::View, true, failure);
    DecodePanelTexels(file, state.m_Texels.data());
    (void)std::fclose(file);  // read to its end or ours: nothing is lost in closing it
}

void UploadPanelTexture(const SceneState& state)
{
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGB, kPanelTextureSize, kPanelTextureSize, GL_RGB, GL_UNSIGNED_BYTE,
                      state.m_Texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_MODULATE));
    glDisable(GL_TEXTURE_2D);
}

void DrawPanel()
{
    glEnable(GL_TEXTURE_2D);
    glPushAttrib(GL_POINT_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_ACCUM_BUFFER_BIT | GL_STENCIL_BUFFER_BIT |
                 GL_TRANSFORM_BIT);
    ApplyMaterial(kPanelMaterial);

    glBegin(GL_QUADS);
    glNormal3f(0.0f, 0.0f, 1.0f);
    // Strips of four columns, one copy of the picture wide; within a strip row by row from
    // the bottom, each row left to right. Each copy runs from 0 to 1 in s and t, so a seam
    // carries 1.0 on one side and 0.0 on the other.
    for (int strip = -kPanelHalf; strip < kPanelHalf; strip += kCellsPerCopy) {
        for (int y = -kPanelHalf; y < kPanelHalf; ++y) {
            for (int x = strip; x < strip + kCellsPerCopy; ++x) {
                const float s0 = static_cast<float>((x + kPanelHalf) % kCellsPerCopy) * kTexStep;
                const float t0 = static_cast<float>((y + kPanelHalf) % kCellsPerCopy) * kTexStep;
                glTexCoord2f(s0, t0);
                glVertex3i(x, y, 0);
                glTexCoord2f(s0 + kTexStep, t0);
                glVertex3i(x + 1, y, 0);
                glTexCoord2f(s0 + kTexStep, t0 + kTexStep);
                glVertex3i(x + 1, y + 1, 0);
                glTexCoord2f(s0, t0 + kTexStep);
                glVertex3i(x, y + 1, 0);
            }
        }
    }
    glEnd();

    glPopAttrib();
    glDisable(GL_TEXTURE_2D);
}
