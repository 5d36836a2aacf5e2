#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""How long `ostrel-dravik --start` takes, beside a shell script that runs the
same adb commands with the same waits and nothing else.

Run by hand (not a test):

    python3 bench/server_start_bench.py [--program build/src/ostrel-dravik] [--runs 9]

Both run against the simulated phone (tests/e2e/simdevice.py, the app
installed, its server stopped) through a private adb server: its own port,
HOME and TMPDIR, so the default adb server and real phones are never touched.
The server is stopped between runs. The script keeps the waits the program
cannot do without (the 0.5 s settle after the executable is found) and polls
the process list without pause until the server shows, which no program can
beat. Prints both medians and their ratio; the goal is at most 1.1.

Python 3 standard library only.
"""

import argparse
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SIMDEVICE = os.path.join(HERE, "..", "tests", "e2e", "simdevice.py")
PACKAGE = "com.ostrel.vncserver"
EXECUTABLE = "/data/data/%s/files/ostrelvncserver" % PACKAGE

# What the program sends for a start on a phone whose server is stopped, one
# device attached: the command line's own checks (installed? running?), then
# the start flow's probe, the launch of the known package's activity, the
# presence check, the settle, the server, and process listings until it shows.
BASELINE = r"""
set -e
adb devices >/dev/null
adb shell ls -l {exe} >/dev/null
adb shell ps >/dev/null
adb shell ps >/dev/null
adb shell am start -a android.intent.action.MAIN -n {package}/.MainActivity >/dev/null
adb shell ls -l {exe} >/dev/null
sleep 0.5
adb shell {exe} >/dev/null 2>&1 </dev/null &
until adb shell ps | grep -q ostrelvncserver; do :; done
"""


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class World:
    """A simulated phone reached by a private adb server."""

    def __init__(self, directory):
        self.adb = shutil.which("adb")
        if self.adb is None:
            sys.exit("adb is not on PATH")
        port = free_port()
        self.environment = dict(os.environ, HOME=directory, TMPDIR=directory,
                                ANDROID_ADB_SERVER_PORT=str(port))
        # A socket named here would take the place of the port.
        for name in ("ANDROID_SERIAL", "ADB_SERVER_SOCKET", "ANDROID_ADB_SERVER_ADDRESS"):
            self.environment.pop(name, None)
        self.log = os.path.join(directory, "phone.jsonl")
        self.phone = subprocess.Popen([sys.executable, SIMDEVICE, "--log", self.log],
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.serial = "127.0.0.1:%s" % self.phone.stdout.readline().decode().strip()
        deadline = time.monotonic() + 15
        while "%s\tdevice" % self.serial not in self.adb_run("devices").stdout:
            if time.monotonic() > deadline:
                sys.exit("adb never listed the simulated phone")
            self.adb_run("connect", self.serial)
            time.sleep(0.2)

    def adb_run(self, *arguments):
        return subprocess.run([self.adb, *arguments], env=self.environment, text=True,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=30)

    def server_listed(self):
        return "ostrelvncserver" in self.adb_run("-s", self.serial, "shell", "ps").stdout

    def stop_server(self):
        self.adb_run("-s", self.serial, "shell", EXECUTABLE, "--stop")
        deadline = time.monotonic() + 10
        while self.server_listed():
            if time.monotonic() > deadline:
                sys.exit("the server did not stop between runs")
            time.sleep(0.05)

    def timed(self, command):
        self.stop_server()
        started = time.monotonic()
        finished = subprocess.run(command, env=self.environment, stdin=subprocess.DEVNULL,
                                  capture_output=True, text=True, timeout=60)
        elapsed = time.monotonic() - started
        if finished.returncode != 0 or not self.server_listed():
            sys.exit("%s did not start the server (status %d):\n%s%s" % (
                command[0], finished.returncode, finished.stdout, finished.stderr))
        return elapsed

    def close(self):
        self.adb_run("kill-server")
        self.phone.stdin.close()
        self.phone.wait(10)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", default=os.path.join(HERE, "..", "build", "src",
                                                          "ostrel-dravik"))
    parser.add_argument("--runs", type=int, default=9)
    options = parser.parse_args()
    if not os.access(options.program, os.X_OK):
        sys.exit("no program at %s; build it or name it with --program" % options.program)

    directory = tempfile.mkdtemp(prefix="start-bench-")
    world = World(directory)
    try:
        # The shell script's adb is the same one the program is told to run.
        script = os.path.join(directory, "baseline.sh")
        with open(script, "w", encoding="utf-8") as file:
            file.write(BASELINE.format(exe=EXECUTABLE, package=PACKAGE)
                       .replace("adb ", "'%s' " % world.adb))
        program = [options.program, "--start", "--adb", world.adb]
        baseline = ["sh", script]
        world.timed(program)  # warms adb's server and the file cache for both
        times = {"program": [], "script": []}
        for _ in range(options.runs):
            times["program"].append(world.timed(program))
            times["script"].append(world.timed(baseline))
        program_median = statistics.median(times["program"])
        script_median = statistics.median(times["script"])
        print("runs:            %d each, alternating" % options.runs)
        print("program median:  %.3f s  (%s)" % (
            program_median, " ".join("%.3f" % t for t in times["program"])))
        print("script median:   %.3f s  (%s)" % (
            script_median, " ".join("%.3f" % t for t in times["script"])))
        print("ratio:           %.3f  (goal <= 1.1)" % (program_median / script_median))
    finally:
        world.close()
        shutil.rmtree(directory, ignore_errors=True)


if __name__ == "__main__":
    main()
