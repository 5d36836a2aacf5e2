#!/usr/bin/env python3
"""Plays an Android phone with the Ostrel VNC Server app for the desktop
program's tests, answering one adb command line per run.

Usage: scripted_adb.py DIR ARG...

DIR holds scenario.json and argv.log. Each run appends its arguments to
argv.log; the phone's state (is the server running, how often was the
executable listed, ...) is replayed from the earlier lines of that log, so no
other state is kept between runs.

The program starts the server without waiting for adb, so that run may reach
this script after the process listing that the program issued next. A listing
that directly follows a file listing which found the executable therefore
waits until the launch is logged: the log keeps the program's order, and the
listing sees the server that was launched before it.

Scenario keys (all optional):
  listings        list of device listings, one per "devices" run (the last one
                  repeats); a listing is a list of [serial, state] pairs.
                  Default: one device "emulator-5554" in state "device".
  package         package the app is installed under, or null (not installed)
  size            size of the server executable in bytes
  presentFrom     the executable shows from the Nth listing of its path on
  running         the server runs from the start
  appearAfter     a launched server shows in the Nth process listing after
                  its launch (1: the first)
  pid             the server's process id; 0 prints a process line without one
  stopWorks       "--stop" ends the server (default true)
  killWorks       "kill -9 PID" ends the server (default true)
  goneFrom        from the Nth adb run on (counting every run), the device is
                  unplugged
  refusedPorts    ports whose forward adb refuses
  silentForward   a working forward prints nothing (older adb)
"""

import json
import os
import sys
import time

SEPARATOR = "\x1f"
LAUNCH_WAIT_SECONDS = 5


def executable_path(package):
    return "/data/data/%s/files/ostrelvncserver" % package


def read_log(directory):
    runs = []
    with open(os.path.join(directory, "argv.log"), encoding="utf-8") as log:
        for line in log:
            line = line.rstrip("\n")
            if line:
                runs.append(line.split(SEPARATOR)[:-1])
    return runs


class Phone:
    def __init__(self, scenario):
        self.scenario = scenario
        self.package = scenario.get("package")
        self.running = bool(scenario.get("running", False))
        self.launched_probes = None  # process listings since the last launch
        self.listings_of = {}
        self.devices_runs = 0
        self.runs = 0
        self.awaiting_launch = False  # the last run found the executable

    # -- state ------------------------------------------------------------
    def device_listing(self):
        listings = self.scenario.get("listings", [[["emulator-5554", "device"]]])
        return listings[min(self.devices_runs, len(listings) - 1)]

    def usable_serials(self):
        return [serial for serial, state in self.device_listing() if state == "device"]

    def gone(self):
        gone_from = self.scenario.get("goneFrom")
        return gone_from is not None and self.runs >= gone_from

    def executable_present(self, path):
        if self.package is None or path != executable_path(self.package):
            return False
        return self.listings_of.get(path, 0) >= self.scenario.get("presentFrom", 1)

    def server_listed(self):
        if not self.running:
            return False
        if self.launched_probes is None:
            return True
        return self.launched_probes >= self.scenario.get("appearAfter", 1)

    # -- one adb run ----------------------------------------------------
    def run(self, argv):
        """Returns (stdout, stderr, exit status) and updates the state."""
        self.runs += 1
        self.awaiting_launch = False
        serial = None
        if argv[:1] == ["-s"] and len(argv) >= 2:
            serial, argv = argv[1], argv[2:]
        if argv == ["devices"]:
            return self.devices()
        if self.gone():
            if serial is not None:
                return "", "error: device '%s' not found\n" % serial, 1
            return "", "error: no devices/emulators found\n", 1
        usable = self.usable_serials()
        if serial is None and len(usable) > 1:
            return "", "error: more than one device/emulator\n", 1
        if serial is not None and serial not in usable:
            return "", "error: device '%s' not found\n" % serial, 1
        if not usable:
            return "", "error: no devices/emulators found\n", 1
        if argv[:1] == ["forward"]:
            return self.forward(argv[1:])
        if argv[:1] == ["shell"]:
            return self.shell(argv[1:])
        return "", "adb: unknown command %s\n" % " ".join(argv), 1

    def devices(self):
        lines = ["List of devices attached"]
        if not self.gone():
            lines += ["%s\t%s" % (serial, state) for serial, state in self.device_listing()]
        self.devices_runs += 1
        return "\n".join(lines) + "\n\n", "", 0

    def forward(self, specs):
        port = specs[0].split(":", 1)[1] if specs and ":" in specs[0] else ""
        if port in [str(p) for p in self.scenario.get("refusedPorts", [])]:
            return "", "adb: error: cannot bind listener: Address already in use\n", 1
        return ("" if self.scenario.get("silentForward") else port + "\n"), "", 0

    def shell(self, command):
        if command == ["ps"]:
            return self.processes(), "", 0
        if command[:2] == ["ls", "-l"] and len(command) == 3:
            return self.file_listing(command[2])
        if command[:2] == ["am", "start"]:
            return self.start_activity(command[-1])
        if command[:2] == ["kill", "-9"] and len(command) == 3:
            return self.kill(command[2])
        if len(command) >= 1 and self.package and command[0] == executable_path(self.package):
            return self.server(command[1:])
        return "", "/system/bin/sh: %s: not found\n" % command[0], 127

    def processes(self):
        if self.launched_probes is not None:
            self.launched_probes += 1
        lines = ["USER     PID   PPID  VSIZE  RSS     WCHAN    PC         NAME",
                 "root      1     0     8904   788   ffffffff 00000000 S /init"]
        if self.package:
            lines.append("u0_a123   1200  180   1012345 40000 ffffffff 00000000 S %s"
                         % self.package)
        if self.server_listed():
            pid = self.scenario.get("pid", 4321)
            pid_text = str(pid) if pid else "?"
            lines.append("u0_a123   %s  1     4560   900   ffffffff 00000000 S %s"
                         % (pid_text, executable_path(self.package)))
        return "\n".join(lines) + "\n"

    def file_listing(self, path):
        self.listings_of[path] = self.listings_of.get(path, 0) + 1
        if not self.executable_present(path):
            return "", "ls: %s: No such file or directory\n" % path, 1
        size = self.scenario.get("size", 2000000)
        self.awaiting_launch = True
        return ("-rwxr-xr-x u0_a123  u0_a123  %d 2024-01-01 12:00 ostrelvncserver\n" % size,
                "", 0)

    def start_activity(self, component):
        package = component.split("/", 1)[0]
        if package != self.package:
            return ("Starting: Intent { act=android.intent.action.MAIN cmp=%s }\n" % component,
                    "Error type 3\nError: Activity class {%s} does not exist.\n" % component, 1)
        return "Starting: Intent { act=android.intent.action.MAIN cmp=%s }\n" % component, "", 0

    def server(self, arguments):
        if arguments == ["--stop"]:
            if self.scenario.get("stopWorks", True):
                self.running = False
            return "", "", 0
        self.running = True
        self.launched_probes = 0
        return "", "", 0

    def kill(self, pid):
        if self.running and self.scenario.get("killWorks", True) and \
                pid == str(self.scenario.get("pid", 4321)):
            self.running = False
            return "", "", 0
        return "", "/system/bin/sh: kill: %s: Operation not permitted\n" % pid, 1


def is_launch(argv):
    command = argv[2:] if argv[:1] == ["-s"] else argv
    return len(command) == 2 and command[0] == "shell" and \
        command[1].endswith("/files/ostrelvncserver")


def replay(scenario, history):
    phone = Phone(scenario)
    for earlier in history:
        phone.run(earlier)
    return phone


def wait_for_pending_launch(directory, scenario, argv):
    deadline = time.monotonic() + LAUNCH_WAIT_SECONDS
    while time.monotonic() < deadline:
        if not replay(scenario, read_log(directory)).awaiting_launch:
            return
        time.sleep(0.005)


def append_log(directory, argv):
    with open(os.path.join(directory, "argv.log"), "a", encoding="utf-8") as log:
        log.write("".join(argument + SEPARATOR for argument in argv) + "\n")


def main():
    directory, argv = sys.argv[1], sys.argv[2:]
    scenario_path = os.path.join(directory, "scenario.json")
    if not os.path.exists(scenario_path):
        return 1  # a late launch whose test has already ended
    with open(scenario_path, encoding="utf-8") as file:
        scenario = json.load(file)
    if not is_launch(argv):
        wait_for_pending_launch(directory, scenario, argv)
    append_log(directory, argv)
    history = read_log(directory)
    # This run's own line was logged last; replay everything before it.
    for index in range(len(history) - 1, -1, -1):
        if history[index] == argv:
            del history[index]
            break
    phone = replay(scenario, history)
    out, err, status = phone.run(argv)
    sys.stdout.write(out)
    sys.stderr.write(err)
    return status


if __name__ == "__main__":
    sys.exit(main())
