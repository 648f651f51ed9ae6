#include "models/wreath.h"

#include "bulbs/patterns.h"

void DrawWreath(SceneState& state)
{
    DrawBulbs(state);
}

void DrawAppleStems()
{
}

void DrawApples()
{
}
