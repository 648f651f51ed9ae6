// The scene state: everything that changes between two frames (camera, flares,
// bulb blinking, spot light) and the texel buffer of the backdrop. One record per view;
// every drawing and input module reads and writes these members by name.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr int kPanelTextureSize = 256;
inline constexpr std::size_t kPanelTexelBytes = std::size_t{kPanelTextureSize} * kPanelTextureSize * 3;

struct SceneState {
    // Camera: the scene is moved by -m_fDistance along z and turned m_fAngle degrees about y.
    float m_fDistance = 27.0f;
    float m_fAngle = 0.0f;
    // Mouse position of the last mouse-move message, client pixels, y down.
    struct Point {
        int x = 0;
        int y = 0;
    } m_ptLast;

    int m_bFlareSpin = 0;        // 0 or 1
    int m_nPattern = 1;          // active blink pattern, 1 to 3
    float m_fFlareAngle = 0.0f;  // degrees about z, within [0, 360]

    // Intensity of bulb position i of every colour; nominally 0 to 1.
    std::array<float, 10> m_fBulb = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.2f, 1.0f, 1.0f, 1.0f, 0.8f};
    int m_nSweepPhase = 1;
    int m_nSweepIndex = 0;

    // Spot light 1. Only the diffuse grey level and the cutoff ever change.
    std::array<float, 4> m_fSpotDiffuse = {0.4f, 0.4f, 0.4f, 1.0f};
    std::array<float, 4> m_fSpotAmbient = {0.3f, 0.3f, 0.3f, 1.0f};
    std::array<float, 4> m_fSpotSpecular = {0.4f, 0.4f, 0.4f, 1.0f};
    std::array<float, 4> m_fSpotPosition = {0.0f, 0.0f, 25.0f, 1.0f};
    std::array<float, 3> m_fSpotDirection = {0.0f, 0.0f, -1.0f};
    float m_fSpotCutoff = 28.0f;

    // Backdrop texels, 256 rows of 256 texels, red, green, blue; row 0 is texture row t = 0.
    // Filled by the texture load before the first frame; black until then.
    std::array<std::uint8_t, kPanelTexelBytes> m_Texels{};
};
