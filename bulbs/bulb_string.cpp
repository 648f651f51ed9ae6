#include "bulbs/bulb_string.h"

void DrawBulbString(const SceneState&)
{
}
