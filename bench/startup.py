#!/usr/bin/env python3
"""Start-up and peak memory of Lumetta against the least that does the same, run in
alternating pairs (program, baseline, program, baseline...) so that load on the machine
falls on both sides alike:

  window   lumetta until its first frame is on screen, against a bare wx frame with one GL
           canvas until its first clear is (both under Xvfb, ended at their first buffer swap);
  +frame   the same against the bare frame drawing the floor's recording of the first frame,
           which is the least a window can do to show that picture;
  render   lumetta --render of the first picture, against the floor program that draws the
           same frame from a vertex buffer and writes it with the same PNG settings.

Usage: bench/startup.py [BUILD_DIR] [PAIRS]   (defaults: build/release, 15)
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.join(ROOT, "build", "release")
PAIRS = int(sys.argv[2]) if len(sys.argv) > 2 else 15


def binary(*parts):
    path = os.path.join(BUILD, *parts)
    if not os.path.exists(path):
        sys.exit(f"startup.py: {path} is missing: build the lumetta and bench targets first")
    return path


def run(argv, env, cwd):
    """Wall seconds and peak resident KiB of one run, which must succeed."""
    # Error output goes to a file: a pipe left unread while waiting could fill and stall the run.
    with tempfile.TemporaryFile() as errors:
        start = time.perf_counter()
        process = subprocess.Popen(argv, env=env, cwd=cwd, stdout=subprocess.DEVNULL, stderr=errors)
        _, status, usage = os.wait4(process.pid, 0)
        seconds = time.perf_counter() - start
        errors.seek(0)
        error = errors.read().decode(errors="replace")
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"startup.py: {' '.join(argv)} failed: {error.strip()}")
    return seconds, usage.ru_maxrss


def start_xvfb():
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                              pass_fds=[write_end], stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        number = pipe.readline().strip()
    if not number:
        sys.exit("startup.py: Xvfb did not start")
    return server, ":" + number


def report(name, ours, baseline):
    ours_time = statistics.median(t for t, _ in ours)
    base_time = statistics.median(t for t, _ in baseline)
    ours_rss = max(r for _, r in ours) / 1024
    base_rss = max(r for _, r in baseline) / 1024
    print(f"{name:7} lumetta {ours_time * 1000:6.1f} ms {ours_rss:6.1f} MiB | "
          f"baseline {base_time * 1000:6.1f} ms {base_rss:6.1f} MiB | "
          f"time x{ours_time / base_time:.2f}, peak RSS {ours_rss - base_rss:+.1f} MiB")


def main():
    lumetta = binary("lumetta")
    bare = binary("bench", "lumetta_bare_window")
    floor_render = binary("bench", "lumetta_floor_render")
    capture = binary("bench", "lumetta_floor_capture")
    shim = binary("bench", "libfirst_swap_exit.so")
    assets = os.path.join(ROOT, "assets")
    server, display = start_xvfb()
    work = tempfile.mkdtemp(prefix="lumetta-startup-")
    try:
        env = dict(os.environ, DISPLAY=display, XDG_CONFIG_HOME=work)
        env.pop("WAYLAND_DISPLAY", None)
        window_env = dict(env, LD_PRELOAD=shim)
        recording = os.path.join(work, "frame.rec")
        with open(recording, "wb") as out:
            subprocess.run([capture], cwd=assets, stdout=out, check=True)
        picture = os.path.join(work, "picture.png")
        # One run of each first, so that every timed run finds the files in the page cache.
        run([lumetta, "--render", picture], env, assets)
        run([floor_render, recording, picture], env, assets)
        window, bare_window, framed, bare_framed, render, floor = [], [], [], [], [], []
        for _ in range(PAIRS):
            window.append(run([lumetta], window_env, assets))
            bare_window.append(run([bare], window_env, assets))
            framed.append(run([lumetta], window_env, assets))
            bare_framed.append(run([bare, recording], window_env, assets))
            render.append(run([lumetta, "--render", picture], env, assets))
            floor.append(run([floor_render, recording, picture], env, assets))
        print(f"{PAIRS} alternating pairs; medians of time, largest peak RSS")
        report("window", window, bare_window)
        report("+frame", framed, bare_framed)
        report("render", render, floor)
    finally:
        server.terminate()
        server.wait()
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
