#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The built-in viewer against TigerVNC's on the same moving phone-sized screen.

Run by hand (not a test), from the source tree, after building:

    cmake --build build --target moving_picture_bench viewer_window_bench \
        viewer_connection_bench
    python3 bench/viewer_bench.py [--viewers tigervnc,window] [--runs 5] [--seconds 20]

and, once the program has `--view`, through adb and a simulated phone:

    python3 bench/viewer_bench.py --viewers tigervnc,program

A screen server (Xvnc, 1080x2400, 24 bits) shows bench/moving_picture.cpp
drawing the same moving picture at a steady rate. Each viewer in turn connects
to it from a display of its own (an Xvfb tall enough for the whole screen at
1:1), with Tight pinned at the same quality and compression, for a number of
seconds; then it is stopped and the server's log gives the updates it sent to
that client. The viewers take turns run by run, so a busy moment of the
machine falls on both.

Viewers:
  tigervnc  xtigervncviewer with -AutoSelect=0 -PreferredEncoding=Tight and the levels
            (-QualityLevel, and -CompressLevel with -CustomCompressLevel, without
            which it asks for its own compression whatever it is given)
  window    build/bench/viewer_window: the program's viewer window alone, straight
            on the server's port (no adb)
  connection  build/bench/viewer_connection: the window's connection with nothing
            drawn, the floor the window's figure stands on
  program   `ostrel-dravik --view` as the user runs it, against a simulated phone
            whose VNC port relays to the server through the real adb's forward
            (tests/e2e/simdevice.py --vnc-relay). With it in the list, TigerVNC
            connects through a forward of the same phone too.

Ours ask for the client library's levels, as the program does; TigerVNC is
given the same ones (the defaults of --quality and --compress). Before the
runs, each viewer but the program connects once to a server that only listens
and the encodings and levels it asked for are printed, so a mismatch shows.

Figures per run, all from the server's count of what it sent the client:
updates and million pixels per second, the viewer's processor time (user +
system, /proc/PID/stat, read just before it is stopped) per update and per
million pixels, and the bytes per update. The table gives medians and the
spread over the runs.

The server's cap of 60 updates a second holds for a viewer that takes
continuous updates (TigerVNC's); one that asks for each update, as the client
library does, is answered as soon as anything changed, so it gets many small
updates, a picture frame in pieces. Updates are then no common unit: the
pixels are. The goal reads: the program's pixels per second at least
TigerVNC's, its processor time per million pixels at most 1.1 times
TigerVNC's. The processor time includes each viewer's start-up, which weighs
little against 20 s of updates.

Python 3 standard library only.
"""

import argparse
import os
import re
import shutil
import signal
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SIMDEVICE = os.path.join(HERE, "..", "tests", "e2e", "simdevice.py")
SCREEN = (1080, 2400)
# The viewers' display: room for the whole screen at 1:1 plus a title bar.
VIEWER_DISPLAY = (1280, 2700)
PHONE_VNC_PORT = 5901
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
UNITS = {"B": 1, "KiB": 1024, "MiB": 1024**2, "GiB": 1024**3}
PIXEL_UNITS = {"": 1, "k": 1e3, "M": 1e6, "G": 1e9}
# What libvncclient asks for unless told otherwise, as the program leaves it;
# the encoding probe at the start of every benchmark shows what each viewer asked.
LIBRARY_QUALITY = 5
LIBRARY_COMPRESS = 3
ENCODING_NAMES = {0: "Raw", 1: "CopyRect", 2: "RRE", 4: "CoRRE", 5: "Hextile", 6: "Zlib",
                  7: "Tight", 9: "Ultra", 15: "TRLE", 16: "ZRLE"}


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def free_display(taken=()):
    for number in range(90, 200):
        if number in taken:
            continue
        if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(
            f"/tmp/.X{number}-lock"
        ):
            return number
    sys.exit("no free X display number")


def wait_for_display(process, number, what):
    deadline = time.monotonic() + 15
    while not os.path.exists(f"/tmp/.X11-unix/X{number}"):
        if process.poll() is not None or time.monotonic() > deadline:
            sys.exit(f"{what} did not start")
        time.sleep(0.05)


def stop(process, grace=5):
    """Ends a process this script started, with its process group."""
    if process.poll() is not None:
        return
    try:
        os.killpg(process.pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    try:
        process.wait(grace)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()


def processor_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        # The command name may hold spaces: the fields start after its ')'.
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


class ScreenServer:
    """Xvnc at the phone's size, its log in a file read client by client."""

    def __init__(self, directory, taken):
        self.number = free_display(taken)
        self.port = free_port()
        self.log_path = os.path.join(directory, "xvnc.log")
        self.log = open(self.log_path, "w")
        # Level 30 (the default, named here because the figures depend on it)
        # prints each client's update statistics when it leaves.
        self.process = subprocess.Popen(
            ["Xvnc", f":{self.number}", "-geometry", "%dx%d" % SCREEN, "-depth", "24",
             "-rfbport", str(self.port), "-localhost", "-SecurityTypes", "None",
             "-AcceptSetDesktopSize=0", "-FrameRate", "60", "-Log", "*:stderr:30"],
            stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True)
        wait_for_display(self.process, self.number, "Xvnc")
        self.display = f":{self.number}"

    def log_size(self):
        return os.path.getsize(self.log_path)

    def client_statistics(self, offset):
        """The updates, pixels and bytes sent to the clients that came and left
        after `offset`: the viewer, and the program's greeting check before it."""
        deadline = time.monotonic() + 10
        while True:
            with open(self.log_path, errors="replace") as log:
                log.seek(offset)
                text = log.read()
            accepted = len(re.findall(r"Connections: accepted", text))
            updates = [int(count) for count in re.findall(r"Framebuffer updates: (\d+)", text)]
            totals = re.findall(r"Total: [\d.]+ [kMG]?rects, ([\d.]+) ([kMG]?)pixels\n"
                                r".*?EncodeManager:\s+([\d.]+) (B|KiB|MiB|GiB)", text)
            if accepted and len(updates) == accepted and len(totals) == accepted:
                return (sum(updates),
                        sum(float(pixels) * PIXEL_UNITS[unit] for pixels, unit, _, _ in totals),
                        sum(float(size) * UNITS[unit] for _, _, size, unit in totals))
            if time.monotonic() > deadline:
                sys.exit("the screen server logged no statistics for the client:\n" + text)
            time.sleep(0.1)

    def close(self):
        stop(self.process)
        self.log.close()


class ViewerDisplay:
    def __init__(self, taken):
        self.number = free_display(taken)
        self.process = subprocess.Popen(
            ["Xvfb", f":{self.number}", "-screen", "0", "%dx%dx24" % VIEWER_DISPLAY,
             "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        wait_for_display(self.process, self.number, "Xvfb")
        self.display = f":{self.number}"

    def window_sizes(self):
        """Sizes of the mapped top-level windows, to show both drew at the same scale."""
        if shutil.which("xwininfo") is None:
            return "?"
        tree = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True,
                              text=True, env=dict(os.environ, DISPLAY=self.display)).stdout
        sizes = re.findall(r"^\s+0x[0-9a-f]+ .*?((\d+)x(\d+))\+", tree, re.MULTILINE)
        # Toolkits keep tiny helper windows mapped; only real ones count.
        return ",".join(size for size, width, height in sizes
                        if int(width) > 16 and int(height) > 16) or "none"

    def close(self):
        stop(self.process)


class Phone:
    """A simulated phone whose VNC port relays to the screen server, behind a
    private adb server (its own port, HOME and TMPDIR)."""

    def __init__(self, directory, server_port):
        self.adb = shutil.which("adb")
        if self.adb is None:
            sys.exit("adb is not on PATH")
        self.environment = dict(os.environ, HOME=directory, TMPDIR=directory,
                                ANDROID_ADB_SERVER_PORT=str(free_port()))
        for name in ("ANDROID_SERIAL", "ADB_SERVER_SOCKET", "ANDROID_ADB_SERVER_ADDRESS"):
            self.environment.pop(name, None)
        self.process = subprocess.Popen(
            [sys.executable, SIMDEVICE, "--already-running", "--vnc-port", str(PHONE_VNC_PORT),
             "--screen", "%dx%d" % SCREEN, "--vnc-relay", f"127.0.0.1:{server_port}",
             "--log", os.path.join(directory, "phone.jsonl")],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, start_new_session=True)
        self.serial = "127.0.0.1:%s" % self.process.stdout.readline().decode().strip()
        self.adb_run("connect", self.serial)
        deadline = time.monotonic() + 15
        while f"{self.serial}\tdevice" not in self.adb_run("devices").stdout:
            if time.monotonic() > deadline:
                sys.exit("adb never listed the simulated phone")
            time.sleep(0.2)

    def adb_run(self, *arguments):
        return subprocess.run([self.adb, *arguments], env=self.environment,
                              capture_output=True, text=True, timeout=30)

    def forward(self):
        """A local port forwarded to the phone's VNC port, as the program makes one."""
        made = self.adb_run("-s", self.serial, "forward", "tcp:0", f"tcp:{PHONE_VNC_PORT}")
        if made.returncode != 0:
            sys.exit("adb forward failed: " + made.stderr)
        return int(made.stdout.strip())

    def close(self):
        self.adb_run("kill-server")
        if self.process.poll() is None:
            self.process.stdin.close()
        stop(self.process)


def viewer_commands(arguments, port, phone=None):
    """Each viewer's command line for the server at `port` (the program finds
    its own way there, through the phone)."""
    ours = ["127.0.0.1", str(port)]
    if arguments.pin_ours:
        ours += ["--quality", str(arguments.quality), "--compress", str(arguments.compress)]
    return {
        "tigervnc": ["xtigervncviewer", "-AutoSelect=0", "-PreferredEncoding=Tight",
                     f"-QualityLevel={arguments.quality}", f"-CompressLevel={arguments.compress}",
                     "-CustomCompressLevel=1", "-NoJPEG=0", "-Shared=0", "-RemoteResize=0",
                     "-FullScreen=0", f"127.0.0.1::{port}"],
        "window": [os.path.join(arguments.build, "bench", "viewer_window")] + ours,
        "connection": [os.path.join(arguments.build, "bench", "viewer_connection")] + ours,
        "program": [os.path.join(arguments.build, "src", "ostrel-dravik"), "--view", "--serial",
                    phone.serial if phone else "", "--adb", phone.adb if phone else ""],
    }


def receive_exactly(connection, size):
    data = b""
    while len(data) < size:
        chunk = connection.recv(size - len(data))
        if not chunk:
            raise ConnectionError("the viewer left during the greeting")
        data += chunk
    return data


def read_set_encodings(connection):
    """Greets a viewer as a screen server without a password and returns the
    encodings it asks for, in its order."""
    connection.sendall(b"RFB 003.008\n")
    receive_exactly(connection, 12)
    connection.sendall(bytes([1, 1]))  # one security type: None
    receive_exactly(connection, 1)
    connection.sendall(struct.pack(">I", 0))
    receive_exactly(connection, 1)  # shared or not
    pixel_format = struct.pack(">BBBBHHHBBB3x", 32, 24, 0, 1, 255, 255, 255, 16, 8, 0)
    name = b"encoding probe"
    connection.sendall(struct.pack(">HH", *SCREEN) + pixel_format + struct.pack(">I", len(name))
                       + name)
    fixed_lengths = {0: 19, 3: 9, 4: 7, 5: 5}
    while True:
        kind = receive_exactly(connection, 1)[0]
        if kind == 2:
            count = struct.unpack(">xH", receive_exactly(connection, 3))[0]
            return list(struct.unpack(">%di" % count, receive_exactly(connection, 4 * count)))
        if kind == 6:
            length = struct.unpack(">3xI", receive_exactly(connection, 7))[0]
            receive_exactly(connection, length)
        elif kind in fixed_lengths:
            receive_exactly(connection, fixed_lengths[kind])
        else:
            raise ConnectionError(f"message {kind} before any SetEncodings")


def describe_encodings(encodings):
    real = [ENCODING_NAMES.get(code, str(code)) for code in encodings if 0 <= code < 256]
    compress = [code + 256 for code in encodings if -256 <= code <= -247]
    quality = [code + 32 for code in encodings if -32 <= code <= -23]
    return "%s first (then %s), compression %s, quality %s" % (
        real[0] if real else "nothing", " ".join(real[1:]) or "nothing",
        compress[0] if compress else "unset", quality[0] if quality else "unset (no JPEG)")


def asked_encodings(name, arguments, environment, viewers_display):
    """What a viewer asks a server for, told by a server that only listens."""
    with socket.socket() as listener:
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        listener.settimeout(20)
        command = viewer_commands(arguments, listener.getsockname()[1])[name]
        viewer = subprocess.Popen(command, env=dict(environment, DISPLAY=viewers_display.display),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  start_new_session=True)
        try:
            connection, _ = listener.accept()
            with connection:
                connection.settimeout(20)
                return describe_encodings(read_set_encodings(connection))
        except (OSError, ConnectionError) as error:
            return f"unknown ({error})"
        finally:
            stop(viewer)


def run_once(command, environment, server, viewers_display, picture_command, seconds):
    """One viewer's figures for one run, or None when it ended by itself
    (what it and the server said is printed)."""
    picture = subprocess.Popen(picture_command, env=dict(environment, DISPLAY=server.display),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    try:
        time.sleep(1.0)  # its window mapped and drawing
        if picture.poll() is not None:
            sys.exit("the moving picture ended at once")
        return measure_viewer(command, environment, server, viewers_display, seconds)
    finally:
        stop(picture)


def measure_viewer(command, environment, server, viewers_display, seconds):
    offset = server.log_size()
    # A file, not a pipe: a chatty viewer must never block on a full one.
    with tempfile.TemporaryFile() as said:
        viewer = subprocess.Popen(command, env=dict(environment, DISPLAY=viewers_display.display),
                                  stdout=said, stderr=subprocess.STDOUT, start_new_session=True)
        started = time.monotonic()
        time.sleep(seconds / 2)
        window = viewers_display.window_sizes()
        time.sleep(seconds / 2)
        if viewer.poll() is not None:
            said.seek(0)
            with open(server.log_path, errors="replace") as log:
                log.seek(offset)
                print("%s ended by itself, not counted:\n%s\nThe server's log:\n%s" % (
                    command[0], said.read().decode(errors="replace"), log.read()), flush=True)
            return None
        cpu = processor_seconds(viewer.pid)
        elapsed = time.monotonic() - started
        stop(viewer)
    updates, pixels, sent = server.client_statistics(offset)
    return {"rate": updates / elapsed, "cpu_ms": 1000 * cpu / max(updates, 1),
            "cpu_mpixel": 1000 * cpu / max(pixels / 1e6, 1e-6), "mpixels": pixels / 1e6 / elapsed,
            "kib": sent / 1024 / max(updates, 1), "load": 100 * cpu / elapsed,
            "updates": updates, "window": window}


def spread(values):
    return "%7.2f [%.2f-%.2f]" % (statistics.median(values), min(values), max(values))


def run_line(number, name, result):
    return ("run %d %-10s %6.2f updates/s %6.2f Mpixels/s %6.2f ms CPU/update "
            "%6.2f ms CPU/Mpixel %7.1f KiB/update (%d updates, window %s)" % (
                number, name, result["rate"], result["mpixels"], result["cpu_ms"],
                result["cpu_mpixel"], result["kib"], result["updates"], result["window"]))


def print_table(results, arguments):
    print(f"\nTight, quality {arguments.quality}, compression {arguments.compress}; "
          f"picture at {arguments.fps} frames/s; {arguments.runs} runs of {arguments.seconds:g} s; "
          "median [min-max]")
    columns = (("updates/s", "rate"), ("Mpixels/s", "mpixels"), ("CPU ms/update", "cpu_ms"),
               ("CPU ms/Mpixel", "cpu_mpixel"))
    print("%-12s" % "viewer runs" + "".join(" %-24s" % title for title, _ in columns)
          + " %10s %6s  %s" % ("KiB/update", "CPU %", "window"))
    results = {name: runs for name, runs in results.items() if runs}
    for name, runs in results.items():
        print("%-12s" % ("%s %d" % (name, len(runs)))
              + "".join(" %-24s" % spread([run[key] for run in runs]) for _, key in columns)
              + " %10.1f %6.1f  %s" % (statistics.median(run["kib"] for run in runs),
                                       statistics.median(run["load"] for run in runs),
                                       " ".join(sorted({run["window"] for run in runs}))))
    if "tigervnc" not in results:
        return
    for ours in (name for name in results if name != "tigervnc"):
        def ratio(key):
            return (statistics.median(run[key] for run in results[ours])
                    / statistics.median(run[key] for run in results["tigervnc"]))
        print("%s / tigervnc: updates/s %.3f, Mpixels/s %.3f (goal >= 1), CPU per update %.3f, "
              "CPU per Mpixel %.3f (goal <= 1.1)" % (ours, ratio("rate"), ratio("mpixels"),
                                                     ratio("cpu_ms"), ratio("cpu_mpixel")))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build", help="the build directory")
    parser.add_argument("--viewers", default="tigervnc,window",
                        help="comma-separated: tigervnc, window, connection, program")
    parser.add_argument("--runs", type=int, default=5, help="runs of each viewer")
    parser.add_argument("--seconds", type=float, default=20, help="length of a run")
    parser.add_argument("--quality", type=int, default=LIBRARY_QUALITY,
                        help="Tight's JPEG quality, 0-9 (default: the client library's)")
    parser.add_argument("--compress", type=int, default=LIBRARY_COMPRESS,
                        help="Tight's compression, 0-9 (default: the client library's)")
    parser.add_argument("--pin-ours", action="store_true",
                        help="give the levels to the window and the connection too (by default "
                        "they ask for the library's, as the program does)")
    parser.add_argument("--fps", type=int, default=30, help="frames/s of the moving picture")
    arguments = parser.parse_args()
    names = [name for name in arguments.viewers.split(",") if name]
    for tool in ("Xvnc", "Xvfb") + (("xtigervncviewer",) if "tigervnc" in names else ()):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is not installed")
    picture_command = [os.path.join(arguments.build, "bench", "moving_picture"),
                       "--fps", str(arguments.fps)]

    home = tempfile.TemporaryDirectory()  # no viewer settings, no remembered servers
    environment = dict(os.environ, QT_QPA_PLATFORM="xcb", HOME=home.name,
                       XDG_CONFIG_HOME=home.name, XDG_RUNTIME_DIR=home.name)
    environment.pop("WAYLAND_DISPLAY", None)
    server = ScreenServer(home.name, ())
    viewers_display = ViewerDisplay((server.number,))
    phone = Phone(home.name, server.port) if "program" in names else None
    try:
        commands = viewer_commands(arguments, phone.forward() if phone else server.port, phone)
        unknown = [name for name in names if name not in commands]
        if unknown:
            sys.exit("unknown viewers: " + ", ".join(unknown))
        for path in [picture_command[0]] + [commands[name][0] for name in names]:
            if shutil.which(path) is None:
                sys.exit(f"{path} is missing: build it first")
        if phone:
            environment = dict(environment, **{key: phone.environment[key] for key in
                                               ("ANDROID_ADB_SERVER_PORT", "TMPDIR")})
        for name in names:
            if name != "program":  # the phone's relay reaches the real server only
                print("%-10s asks for %s" % (
                    name, asked_encodings(name, arguments, environment, viewers_display)),
                    flush=True)
        for name in names:  # warm the file cache; not counted
            run_once(commands[name], environment, server, viewers_display, picture_command, 3)
        results = {name: [] for name in names}
        for run in range(arguments.runs):
            for name in names:
                result = run_once(commands[name], environment, server, viewers_display,
                                  picture_command, arguments.seconds)
                if result is not None:
                    print(run_line(run + 1, name, result), flush=True)
                    results[name].append(result)
    finally:
        if phone:
            phone.close()
        viewers_display.close()
        server.close()
        home.cleanup()
    print_table(results, arguments)


if __name__ == "__main__":
    main()
