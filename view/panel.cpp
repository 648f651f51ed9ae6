#include "view/panel.h"

void ReadPanelTexels(SceneState&)
{
}

void UploadPanelTexture(const SceneState&)
{
}

void LoadPanelTexture(SceneState& state)
{
    ReadPanelTexels(state);
    UploadPanelTexture(state);
}

void DrawPanel()
{
}
