// The driver's samples, asked on Windows in this process: a context made and gone leaves
// nothing behind that the plan would not count.
#include "export/render_plan.h"

#include "os/headless_context.h"
#include "view/frame_targets.h"

#include <algorithm>

int DriverSamples(int wanted)
{
    const CHeadlessContext context(16, 16);
    return context.Ok() ? std::clamp(NearestSamples(wanted), 1, wanted) : wanted;
}
