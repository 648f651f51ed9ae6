// The backdrop: the picture "panel.bmp" as a mipmapped texture, tiled over a lit panel.
#pragma once

#include "core/scene_state.h"

#include <cstdint>
#include <cstdio>
#include <string>

// Fills kPanelTexelBytes texels from an open file: the first 56 bytes are skipped, then each
// texel takes the next three bytes as red, blue, green; bytes past the end count as 255.
// Any file is accepted, whatever its size or content.
void DecodePanelTexels(std::FILE* file, std::uint8_t* texels);
// Reads "panel.bmp" into state.m_Texels from the current folder, so that a picture of one's
// own wins, else from installedFolder (where the program installed its own), unless that is
// empty. Neither a readable regular file is fatal: the message box, with the reason for each
// place on stderr, the view's destruction, exit status 1.
void ReadPanelTexels(SceneState& state, const std::string& installedFolder = {});
// Context current: builds the default 2D texture with its mipmaps from state.m_Texels and
// sets its parameters and environment. Leaves GL_TEXTURE_2D disabled.
void UploadPanelTexture(const SceneState& state);

// The textured panel behind the wreath. Expects the camera on the model-view matrix and
// lighting set up; leaves matrix, material and enables as found, GL_TEXTURE_2D disabled.
void DrawPanel();
