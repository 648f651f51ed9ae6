#!/usr/bin/env python3
"""The memory an export is planned to take against what it takes: for each format and size,
lumetta --render runs with LUMETTA_SHOW_PLAN=1, which prints the plan and its estimate of the
peak, while its address space (VmPeak) and resident memory (VmHWM) are read from /proc. It
runs under a generous address-space limit, so that malloc keeps to one arena as it does under
any limit (each thread would otherwise reserve 64 MiB of address space it never uses).

    python3 bench/memory.py build/release/lumetta [--frames N] [--sizes 500x500,1920x1080] [--transparent]

Run from the source folder (the backdrop picture is read from assets/). Prints a Markdown
table; the largest sizes take a minute or two each."""

import argparse
import os
import re
import resource
import subprocess
import sys
import tempfile
import time

FORMATS = ["png", "webp", "gif", "mp4", "webm"]
# The largest MP4 that H.264 allows: a square of 8192 is refused. VP9 at 8192 x 8192 takes
# minutes a frame at the settings used here; the table shows 4096 x 4096 for it.
INSTEAD = {"mp4": {"8192x8192": "8192x4352"}, "webm": {"8192x8192": "4096x4096"}}
LIMIT_KIB = 64 * 1024 * 1024


def measure(binary, folder, args):
    """Runs binary with args in folder; returns (status, stderr, VmPeak MiB, VmHWM MiB)."""

    def limit():
        resource.setrlimit(resource.RLIMIT_AS, (LIMIT_KIB * 1024, LIMIT_KIB * 1024))

    env = dict(os.environ, LUMETTA_SHOW_PLAN="1")
    child = subprocess.Popen([binary] + args, cwd=folder, env=env, preexec_fn=limit,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    peak = 0
    while True:
        pid, status, usage = os.wait4(child.pid, os.WNOHANG)
        if pid == child.pid:
            break
        try:
            with open(f"/proc/{child.pid}/status") as lines:
                for line in lines:
                    if line.startswith("VmPeak:"):
                        peak = max(peak, int(line.split()[1]))
        except OSError:
            pass
        time.sleep(0.005)
    # The resident peak, exactly, from the kernel's account of the child.
    code = os.waitstatus_to_exitcode(status)
    return code, child.stderr.read().decode(), peak / 1024, usage.ru_maxrss / 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("--frames", type=int, default=12)
    parser.add_argument("--sizes", default="500x500,1920x1080,8192x8192")
    parser.add_argument("--transparent", action="store_true", help="with no backdrop (no MP4)")
    options = parser.parse_args()
    binary = os.path.abspath(options.binary)
    assets = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "assets")
    print("| format | size | plan | address space: estimate / peak | resident: estimate / peak |")
    print("|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as folder:
        os.symlink(os.path.join(assets, "panel.bmp"), os.path.join(folder, "panel.bmp"))
        for size in options.sizes.split(","):
            for kind in FORMATS:
                if options.transparent and kind == "mp4":
                    continue
                shown = INSTEAD.get(kind, {}).get(size, size)
                frames = "1" if kind == "png" else str(options.frames)
                args = ["--render", "out." + kind, "--size", shown, "--frames", frames]
                if options.transparent:
                    args.append("--transparent")
                status, err, peak, hwm = measure(binary, folder, args)
                plan = re.search(r"plan: (\d+) preparers, (\d+) frames in flight, (\d+) driver threads, "
                                 r"(-?\d+) encoder threads, lookahead (-?\d+), [a-z ]+; about (\d+) MiB of "
                                 r"address space, (\d+) MiB resident", err)
                if status != 0 or not plan:
                    print(f"| {kind} | {shown} | failed ({status}): {err.strip()} | | |")
                    continue
                p = [int(v) for v in plan.groups()]
                threads = f"{p[0]} encoding, {p[2]} drawing"
                if kind in ("mp4", "webm"):
                    encoder = "x264" if kind == "mp4" else "libvpx"
                    count = "its own choice of" if p[3] == 0 else str(p[3])
                    threads += f", {encoder} {count} thread{'' if p[3] == 1 else 's'}" + \
                        (f", lookahead {p[4]}" if p[4] >= 0 else "")
                elif kind == "gif" and p[3] > 0:
                    threads += f", {p[3]} quantiser threads"

                def pair(estimate, measured):
                    return f"{estimate} / {measured:.0f} MiB ({(estimate - measured) / measured * 100:+.0f}%)"

                print(f"| {kind} | {shown} | {threads} | {pair(p[5], peak)} | {pair(p[6], hwm)} |")
                sys.stdout.flush()


if __name__ == "__main__":
    main()
