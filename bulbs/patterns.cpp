#include "bulbs/patterns.h"

void DrawBulbs(SceneState&)
{
}

void OnLightPattern1(SceneState&)
{
}

void OnLightPattern2(SceneState&)
{
}

void OnLightPattern3(SceneState&)
{
}
