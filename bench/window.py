#!/usr/bin/env python3
"""The window's cost as people see it, against another build of Lumetta, in turns: the window
at its default size (500 x 500) and full screen at 1920 x 1080, each on a private Xvfb of
1920 x 1080, for SECONDS after its first five; the processor time of the whole process (user
and system, every thread) and the frames a second the X server sees drawn.

Usage: bench/window.py BEFORE_LUMETTA [AFTER_LUMETTA] [SECONDS] [ROUNDS]
       (defaults: build/release/lumetta, 30 s, 1 round)
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BEFORE = os.path.abspath(sys.argv[1])
AFTER = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else os.path.join(ROOT, "build", "release", "lumetta")
SECONDS = float(sys.argv[3]) if len(sys.argv) > 3 else 30.0
ROUNDS = int(sys.argv[4]) if len(sys.argv) > 4 else 1
COUNTER = os.path.join(ROOT, "build", "release", "bench", "lumetta_damage_count")
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def measure(program, args):
    """Share of a core and frames a second of one window, on an X server of its own."""
    work = tempfile.mkdtemp()
    shutil.copy(os.path.join(ROOT, "assets", "panel.bmp"), work)
    number = next(n for n in range(90, 200) if not os.path.exists(f"/tmp/.X{n}-lock"))
    display = f":{number}"
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1920x1080x24", "-nolisten", "tcp", "-noreset"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while not os.path.exists(f"/tmp/.X11-unix/X{number}"):
        time.sleep(0.05)
    env = dict(os.environ, DISPLAY=display, XDG_CONFIG_HOME=work, HOME=work)
    window = subprocess.Popen([program] + args, cwd=work, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(5)
        before = cpu_seconds(window.pid)
        counter = subprocess.run([COUNTER, str(SECONDS)], env=env, capture_output=True, text=True)
        if counter.returncode != 0 or window.poll() is not None:
            sys.exit(f"window.py: {program} {' '.join(args)} did not run: {counter.stderr}")
        used = cpu_seconds(window.pid) - before
        return 100.0 * used / SECONDS, float(counter.stdout)
    finally:
        window.kill()
        window.wait()
        # Let go of its display as it should, so that the next one may have it.
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(work)


def main():
    if not os.path.exists(COUNTER):
        sys.exit(f"window.py: {COUNTER} is missing: build the bench targets first")
    results = {}
    for _ in range(ROUNDS):
        for what, args in (("window, 500 x 500", []), ("full screen, 1920 x 1080", ["--fullscreen"])):
            for name, program in (("before", BEFORE), ("after", AFTER)):
                results.setdefault((what, name), []).append(measure(program, args))
    print(f"| {SECONDS:.0f} s each, medians of {ROUNDS} | before: % of a core | frames a second | after: % of a core "
          "| frames a second | after / before |")
    print("|---|---|---|---|---|---|")
    for what in ("window, 500 x 500", "full screen, 1920 x 1080"):
        b = [statistics.median(v) for v in zip(*results[(what, "before")])]
        a = [statistics.median(v) for v in zip(*results[(what, "after")])]
        print(f"| {what} | {b[0]:.1f}% | {b[1]:.1f} | {a[0]:.1f}% | {a[1]:.1f} | {a[0] / b[0]:.2f} |")


if __name__ == "__main__":
    main()
