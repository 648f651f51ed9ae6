#include "bulbs/patterns.h"

void DrawBulbs(SceneState&)
{
}
