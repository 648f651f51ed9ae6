// The driver's samples, asked on Linux in a child process.
#include "export/render_plan.h"

#include "os/headless_context.h"
#include "view/frame_targets.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

// The plan for the memory is made before the driver starts in this
// one, and the threads it starts are part of the plan. Where the child cannot tell, wanted.
int DriverSamples(int wanted)
{
    int answer[2];
    if (::pipe2(answer, O_CLOEXEC) != 0)
        return wanted;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(answer[0]);
        const CHeadlessContext context(16, 16);
        const int samples = context.Ok() ? NearestSamples(wanted) : wanted;
        (void)!::write(answer[1], &samples, sizeof samples);
        ::_exit(0);
    }
    ::close(answer[1]);
    int samples = wanted;
    pollfd said = {answer[0], POLLIN, 0};
    if (child > 0 && ::poll(&said, 1, 10000) == 1 && ::read(answer[0], &samples, sizeof samples) != sizeof samples)
        samples = wanted;
    ::close(answer[0]);
    if (child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    return std::clamp(samples, 1, wanted);
}
