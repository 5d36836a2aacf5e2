#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Time from process start to the first frame: the program's window against a
bare window with the same widgets and libraries, run alternately under Xvfb.

Run by hand from the source tree, after building both programs:
    ninja -C build startup_launcher_bench startup_bare_bench
    python3 bench/startup_frames.py [--build build] [--runs 21]

The program is started as the desktop starts it, `ostrel-dravik` with no
argument, which hands the process over to the window program (both in
build/bench/startup).

Each program prints the CLOCK_MONOTONIC time of its first frame and ends; the
time taken just before it is started is subtracted. Prints the medians and
their ratio; the goal is a ratio of at most 1.1.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def free_display():
    for number in range(90, 200):
        if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(
            f"/tmp/.X{number}-lock"
        ):
            return number
    sys.exit("no free X display number")


def start_xvfb():
    number = free_display()
    server = subprocess.Popen(
        ["Xvfb", f":{number}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
    )
    deadline = time.monotonic() + 10
    while not os.path.exists(f"/tmp/.X11-unix/X{number}"):
        if server.poll() is not None or time.monotonic() > deadline:
            sys.exit("Xvfb did not start")
        time.sleep(0.05)
    return server, f":{number}"


def time_to_first_frame(program, environment):
    started = time.monotonic_ns()
    finished = subprocess.run(
        [program], env=environment, capture_output=True, text=True, timeout=60
    )
    for line in finished.stdout.splitlines():
        if line.startswith("first-frame "):
            return (int(line.split()[1]) - started) / 1e6
    sys.exit(f"{program} printed no first frame:\n{finished.stderr}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build", help="the build directory")
    parser.add_argument("--runs", type=int, default=21, help="runs of each program")
    arguments = parser.parse_args()
    programs = {
        "program": os.path.join(arguments.build, "bench", "startup", "ostrel-dravik"),
        "bare": os.path.join(arguments.build, "bench", "startup_bare_bench"),
    }
    for path in programs.values():
        if not os.access(path, os.X_OK):
            sys.exit(f"{path} is missing: build it first")
    if shutil.which("Xvfb") is None:
        sys.exit("Xvfb is not installed")

    server, display = start_xvfb()
    home = tempfile.TemporaryDirectory()  # no remembered geometry, no user settings
    environment = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
                       XDG_CONFIG_HOME=home.name, XDG_RUNTIME_DIR=home.name)
    try:
        for program in programs.values():  # warm the file cache
            time_to_first_frame(program, environment)
        times = {name: [] for name in programs}
        for _ in range(arguments.runs):
            for name, program in programs.items():
                times[name].append(time_to_first_frame(program, environment))
    finally:
        server.terminate()
        server.wait()
        home.cleanup()

    medians = {name: statistics.median(values) for name, values in times.items()}
    for name, values in times.items():
        print(f"{name:8} median {medians[name]:7.1f} ms   min {min(values):7.1f}   "
              f"max {max(values):7.1f}   ({len(values)} runs)")
    ratio = medians["program"] / medians["bare"]
    print(f"ratio    {ratio:.3f} (goal <= 1.1)")


if __name__ == "__main__":
    main()
