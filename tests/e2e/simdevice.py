#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A simulated Android phone that the real adb server reaches over loopback.

It speaks the adb transport protocol on a TCP port (reach it with
`adb connect 127.0.0.1:PORT`), answers the shell commands the desktop program
sends as a phone with the Ostrel VNC Server app would, and serves the VNC and
web ports of the running server through "tcp:N" streams.

The first line on standard output is the listening port. Every stream the
host opens is logged as one JSON line to the --log file. The process ends on
SIGTERM, or when its standard input reaches end of file (so it never outlives
the test that started it).

Python standard library only.
"""

import argparse
import asyncio
import json
import os
import shlex
import signal
import struct
import sys
import time

A_SYNC = 0x434E5953
A_CNXN = 0x4E584E43
A_AUTH = 0x48545541
A_OPEN = 0x4E45504F
A_OKAY = 0x59414B4F
A_CLSE = 0x45534C43
A_WRTE = 0x45545257

A_VERSION = 0x01000001
MAX_PAYLOAD = 256 * 1024
AUTH_TOKEN = 1
AUTH_SIGNATURE = 2
AUTH_RSAPUBLICKEY = 3

SHELL_STDIN = 0
SHELL_STDOUT = 1
SHELL_STDERR = 2
SHELL_EXIT = 3

HEADER = struct.Struct("<6I")

# What an Android 10 phone advertises; shell_v2 makes adb keep stdout and
# stderr apart and report the remote exit status.
PHONE_FEATURES = ("shell_v2,cmd,stat_v2,ls_v2,fixed_push_mkdir,apex,abb,"
                  "fixed_push_symlink_timestamp,abb_exec,remount_shell")

PACKAGES = {
    "first": "com.ostrel.vncserver",
    "second": "com.halvorn.pellit",
}
EXECUTABLE_NAME = "ostrelvncserver"
APP_UID = "u0_a123"

# A toolbox-era process table: (user, pid, ppid, vsize, rss, wchan, name).
SYSTEM_PROCESSES = [
    ("root", 1, 0, 9180, 736, "SyS_epoll_", "/init"),
    ("root", 2, 0, 0, 0, "kthreadd", "kthreadd"),
    ("root", 3, 2, 0, 0, "smpboot_th", "ksoftirqd/0"),
    ("root", 5, 2, 0, 0, "worker_thr", "kworker/0:0H"),
    ("root", 7, 2, 0, 0, "rcu_gp_kth", "rcu_preempt"),
    ("root", 8, 2, 0, 0, "rcu_gp_kth", "rcu_sched"),
    ("root", 9, 2, 0, 0, "rcu_gp_kth", "rcu_bh"),
    ("root", 10, 2, 0, 0, "smpboot_th", "migration/0"),
    ("root", 11, 2, 0, 0, "rescuer_th", "lru-add-drain"),
    ("root", 12, 2, 0, 0, "smpboot_th", "cpuhp/0"),
    ("root", 13, 2, 0, 0, "smpboot_th", "cpuhp/1"),
    ("root", 14, 2, 0, 0, "smpboot_th", "migration/1"),
    ("root", 15, 2, 0, 0, "smpboot_th", "ksoftirqd/1"),
    ("root", 19, 2, 0, 0, "devtmpfsd", "kdevtmpfs"),
    ("root", 20, 2, 0, 0, "rescuer_th", "netns"),
    ("root", 24, 2, 0, 0, "watchdog", "khungtaskd"),
    ("root", 25, 2, 0, 0, "kswapd", "kswapd0"),
    ("root", 26, 2, 0, 0, "rescuer_th", "writeback"),
    ("root", 27, 2, 0, 0, "rescuer_th", "crypto"),
    ("root", 28, 2, 0, 0, "rescuer_th", "bioset"),
    ("root", 29, 2, 0, 0, "rescuer_th", "kblockd"),
    ("root", 52, 2, 0, 0, "mmc_queue_", "mmcqd/0"),
    ("root", 105, 2, 0, 0, "kjournald2", "jbd2/mmcblk0p25"),
    ("root", 106, 2, 0, 0, "rescuer_th", "ext4-rsv-conver"),
    ("logd", 190, 1, 21448, 3520, "SyS_rt_sig", "/system/bin/logd"),
    ("root", 191, 1, 8792, 1620, "SyS_epoll_", "/sbin/ueventd"),
    ("root", 211, 1, 14104, 2148, "SyS_epoll_", "/system/bin/vold"),
    ("system", 212, 1, 10788, 1816, "SyS_epoll_", "/system/bin/servicemanager"),
    ("system", 213, 1, 12996, 2460, "SyS_epoll_", "/system/bin/hwservicemanager"),
    ("root", 214, 1, 9032, 1412, "SyS_epoll_", "/system/bin/healthd"),
    ("root", 215, 1, 17864, 2704, "binder_thr", "/system/bin/lmkd"),
    ("system", 216, 1, 173732, 16708, "SyS_epoll_", "/system/bin/surfaceflinger"),
    ("root", 218, 1, 1536192, 69436, "poll_sched", "zygote64"),
    ("root", 219, 1, 1243216, 61820, "poll_sched", "zygote"),
    ("audioserver", 220, 1, 38300, 8040, "binder_thr", "/system/bin/audioserver"),
    ("cameraserver", 221, 1, 42756, 9900, "binder_thr", "/system/bin/cameraserver"),
    ("drm", 222, 1, 23564, 5224, "binder_thr", "/system/bin/drmserver"),
    ("root", 223, 1, 12584, 2620, "SyS_epoll_", "/system/bin/installd"),
    ("keystore", 224, 1, 16324, 3808, "binder_thr", "/system/bin/keystore"),
    ("media", 225, 1, 32608, 7316, "binder_thr", "/system/bin/mediaserver"),
    ("root", 226, 1, 18116, 2824, "SyS_epoll_", "/system/bin/netd"),
    ("radio", 227, 1, 30232, 4628, "SyS_epoll_", "/system/bin/rild"),
    ("gps", 229, 1, 20164, 3392, "SyS_epoll_", "/system/bin/gpsd"),
    ("system", 231, 1, 11944, 2164, "SyS_epoll_", "/system/bin/gatekeeperd"),
    ("root", 233, 1, 9684, 1568, "SyS_epoll_", "/system/bin/storaged"),
    ("wifi", 236, 1, 14260, 3028, "SyS_epoll_", "/system/bin/wificond"),
    ("shell", 612, 1, 14612, 2320, "SyS_epoll_", "/system/bin/adbd"),
    ("system", 845, 218, 2124948, 168420, "SyS_epoll_", "system_server"),
    ("u0_a24", 1012, 218, 1702212, 91380, "SyS_epoll_", "com.android.systemui"),
    ("radio", 1120, 218, 1505888, 59836, "SyS_epoll_", "com.android.phone"),
    ("u0_a9", 1143, 218, 1497272, 52632, "SyS_epoll_", "com.android.launcher3"),
    ("system", 1198, 218, 1434516, 44272, "SyS_epoll_", "com.android.settings"),
    ("u0_a13", 1244, 218, 1438704, 47100, "SyS_epoll_", "com.google.android.gms.persistent"),
    ("u0_a6", 1306, 218, 1421904, 40364, "SyS_epoll_", "android.process.media"),
    ("u0_a2", 1350, 218, 1409832, 38752, "SyS_epoll_", "android.process.acore"),
    ("bluetooth", 1391, 218, 1446672, 42176, "SyS_epoll_", "com.android.bluetooth"),
    ("nfc", 1422, 218, 1417888, 39024, "SyS_epoll_", "com.android.nfc"),
    ("u0_a31", 1480, 218, 1400984, 35964, "SyS_epoll_", "com.android.inputmethod.latin"),
    ("u0_a13", 1525, 218, 1531800, 70116, "SyS_epoll_", "com.google.android.gms"),
    ("u0_a45", 1602, 218, 1398276, 33380, "SyS_epoll_", "com.android.providers.calendar"),
    ("u0_a60", 1688, 218, 1391624, 30956, "SyS_epoll_", "com.android.deskclock"),
    ("u0_a18", 1734, 218, 1389712, 29504, "SyS_epoll_", "com.android.smspush"),
    ("system", 1790, 218, 1394036, 31228, "SyS_epoll_", "com.android.keychain"),
    ("root", 2210, 2, 0, 0, "worker_thr", "kworker/u8:2"),
    ("root", 2391, 2, 0, 0, "worker_thr", "kworker/1:1"),
]

PS_HEADER = "USER      PID   PPID  VSIZE  RSS   WCHAN              PC  NAME\n"


def ps_line(user, pid, ppid, vsize, rss, wchan, name):
    return "%-9s %-5d %-5d %-6d %-5d %-10s 0000000000 S %s\n" % (
        user, pid, ppid, vsize, rss, wchan, name)


def checksum(data):
    return sum(data) & 0xFFFFFFFF


def shell_packet(kind, data):
    return struct.pack("<BI", kind, len(data)) + data


class Phone:
    """What lives on the phone: the app, its executable and the server."""

    def __init__(self, options):
        self.options = options
        self.package = PACKAGES.get(options.package)
        self.clock_start = time.monotonic()
        self.first_launch = None
        self.app_pid = None
        self.next_pid = 4100
        self.server = None  # dict(pid, visible_at, stream)
        self.log_file = open(options.log, "a", encoding="utf-8") if options.log else None
        if options.already_running and self.package:
            self.server = {"pid": self.new_pid(), "visible_at": 0.0, "stream": None}

    def new_pid(self):
        self.next_pid += 7
        return self.next_pid

    def log(self, entry):
        if self.log_file is None:
            return
        entry["time"] = round(time.monotonic() - self.clock_start, 3)
        self.log_file.write(json.dumps(entry) + "\n")
        self.log_file.flush()

    def executable_path(self):
        if self.package is None:
            return None
        return "/data/data/%s/files/%s" % (self.package, EXECUTABLE_NAME)

    def executable_present(self):
        if self.package is None:
            return False
        delay = self.options.exe_delay
        if delay is None:
            return True
        if self.first_launch is None:
            return False
        return time.monotonic() >= self.first_launch + delay

    def stop_server(self, status):
        """Ends the server; the adb stream that launched it, if still open,
        closes with `status` as the remote exit status."""
        server = self.server
        self.server = None
        if server is not None and server.get("stream") is not None:
            server["stream"].finish(status)

    def server_visible(self):
        return self.server is not None and time.monotonic() >= self.server["visible_at"]

    def process_listing(self):
        lines = [PS_HEADER]
        for row in SYSTEM_PROCESSES:
            lines.append(ps_line(*row))
        if self.app_pid is not None:
            lines.append(ps_line(APP_UID, self.app_pid, 218, 1412336, 45880,
                                 "SyS_epoll_", self.package))
        if self.server_visible():
            lines.append(ps_line("shell", self.server["pid"], 1, 27420, 6312,
                                 "poll_sched", self.executable_path()))
        shell_pid = self.new_pid()
        lines.append(ps_line("shell", shell_pid, 612, 9548, 1836, "sigsuspend",
                             "/system/bin/sh"))
        lines.append(ps_line("shell", self.new_pid(), shell_pid, 10892, 1904, "0", "ps"))
        return "".join(lines)


class Result:
    """What a finished shell command wrote and its exit status."""

    def __init__(self, out="", err="", status=0):
        self.out = out
        self.err = err
        self.status = status


def run_ls(phone, args):
    if len(args) != 2 or args[0] != "-l":
        return Result(err="ls: usage: ls [-l] PATH\n", status=1)
    path = args[1]
    if phone.options.listing_denied:
        return Result(err="ls: %s: Permission denied\n" % path, status=1)
    if phone.executable_present() and path == phone.executable_path():
        line = "-rwxr-xr-x %s %s %8d 2024-05-01 12:00 %s\n" % (
            APP_UID, APP_UID, phone.options.exe_size, EXECUTABLE_NAME)
        return Result(out=line)
    return Result(err="ls: %s: No such file or directory\n" % path, status=1)


def expand_component(component):
    package, _, activity = component.partition("/")
    if activity.startswith("."):
        activity = package + activity
    return package, "{%s/%s}" % (package, activity)


def run_am(phone, args):
    if len(args) < 5 or args[0] != "start" or "-n" not in args:
        return Result(err="Error: unsupported am invocation in the simulated phone\n", status=1)
    component = args[args.index("-n") + 1] if args.index("-n") + 1 < len(args) else ""
    action = args[args.index("-a") + 1] if "-a" in args and args.index("-a") + 1 < len(args) else ""
    starting = "Starting: Intent { act=%s cmp=%s }\n" % (action, component)
    package, long_name = expand_component(component)
    if package != phone.package or not component.endswith("/.MainActivity"):
        err = "Error type 3\nError: Activity class %s does not exist.\n" % long_name
        return Result(out=starting, err=err, status=phone.options.am_error_status)
    if phone.first_launch is None:
        phone.first_launch = time.monotonic()
    if phone.app_pid is None:
        phone.app_pid = phone.new_pid()
    return Result(out=starting)


def run_kill(phone, args):
    if len(args) != 2 or args[0] != "-9":
        return Result(err="/system/bin/sh: kill: usage: kill [-s signame | -signum] pid...\n",
                      status=1)
    target = args[1]
    if not target.isdigit():
        return Result(err="/system/bin/sh: kill: %s: arguments must be jobs or process IDs\n"
                      % target, status=1)
    pid = int(target)
    if phone.server is not None and phone.server["pid"] == pid:
        if not phone.options.survives_kill:
            phone.stop_server(137)
        return Result()
    if any(row[1] == pid for row in SYSTEM_PROCESSES) or pid == phone.app_pid:
        return Result(err="/system/bin/sh: kill: %d: Operation not permitted\n" % pid, status=1)
    return Result(err="/system/bin/sh: kill: %d: No such process\n" % pid, status=1)


def run_stop_request(phone):
    if phone.server is None:
        return Result(err="%s: no server is running\n" % EXECUTABLE_NAME, status=1)
    if phone.options.ignore_stop:
        return Result()
    phone.stop_server(0)
    return Result(out="%s: server stopped\n" % EXECUTABLE_NAME)


class Connection:
    """One adb transport: the link the adb server keeps to this phone."""

    def __init__(self, phone, reader, writer, number):
        self.phone = phone
        self.reader = reader
        self.writer = writer
        self.number = number
        self.streams = {}
        self.next_local_id = 1
        self.max_payload = 4096
        self.online = False

    def send(self, command, arg0, arg1, data=b""):
        header = HEADER.pack(command, arg0, arg1, len(data), checksum(data),
                             command ^ 0xFFFFFFFF)
        self.writer.write(header + data)

    async def run(self):
        try:
            while True:
                header = await self.reader.readexactly(HEADER.size)
                command, arg0, arg1, length, _check, magic = HEADER.unpack(header)
                if magic != command ^ 0xFFFFFFFF or length > 1024 * 1024:
                    self.phone.log({"event": "bad-packet", "transport": self.number})
                    break
                data = await self.reader.readexactly(length) if length else b""
                self.dispatch(command, arg0, arg1, data)
                await self.writer.drain()
        except (asyncio.IncompleteReadError, ConnectionError):
            pass
        finally:
            for stream in list(self.streams.values()):
                stream.host_closed()
            self.streams.clear()
            self.writer.close()

    def dispatch(self, command, arg0, arg1, data):
        if command == A_CNXN:
            self.on_connect(arg1, data)
        elif command == A_AUTH:
            self.on_auth(arg0, data)
        elif not self.online:
            return
        elif command == A_OPEN:
            self.on_open(arg0, data)
        elif command == A_OKAY:
            stream = self.streams.get(arg1)
            if stream is not None:
                stream.on_okay(arg0)
        elif command == A_WRTE:
            stream = self.streams.get(arg1)
            if stream is not None:
                self.send(A_OKAY, arg1, arg0)
                stream.on_data(data)
        elif command == A_CLSE:
            stream = self.streams.pop(arg1, None)
            if stream is not None:
                stream.host_closed()

    def on_connect(self, max_payload, data):
        self.max_payload = max(256, min(max_payload, MAX_PAYLOAD))
        self.phone.log({"event": "connect", "transport": self.number,
                        "host": data.rstrip(b"\0").decode("utf-8", "replace")})
        if self.phone.options.state == "unauthorized":
            self.send(A_AUTH, AUTH_TOKEN, 0, os.urandom(20))
            return
        self.online = True
        self.send(A_CNXN, A_VERSION, MAX_PAYLOAD, self.banner())

    def on_auth(self, kind, data):
        # Nobody ever taps "Allow" on this phone: every signature fails, and a
        # public key only brings up the (unanswered) dialog.
        self.phone.log({"event": "auth", "transport": self.number, "kind": kind})
        if kind == AUTH_SIGNATURE:
            self.send(A_AUTH, AUTH_TOKEN, 0, os.urandom(20))

    def banner(self):
        options = self.phone.options
        features = PHONE_FEATURES if options.shell_v2 else "cmd"
        text = "device::ro.product.name=%s;ro.product.model=%s;ro.product.device=%s;features=%s" % (
            options.product, options.model, options.device, features)
        return text.encode("utf-8")

    def on_open(self, host_id, data):
        service = data.rstrip(b"\0").decode("utf-8", "replace")
        local_id = self.next_local_id
        self.next_local_id += 1
        stream = open_service(self, local_id, host_id, service)
        if stream is None:
            self.phone.log({"event": "refused", "transport": self.number, "service": service})
            self.send(A_CLSE, 0, host_id)
            return
        self.streams[local_id] = stream
        self.send(A_OKAY, local_id, host_id)
        stream.started()


class Stream:
    """One service stream; sends its WRTEs one at a time as adb acknowledges."""

    def __init__(self, connection, local_id, host_id):
        self.connection = connection
        self.local_id = local_id
        self.host_id = host_id
        self.pending = []
        self.awaiting_okay = False
        self.close_after_send = False
        self.closed = False

    def started(self):
        pass

    def on_data(self, data):
        pass

    def on_host_close(self):
        pass

    def write(self, data):
        if self.closed:
            return
        limit = self.connection.max_payload
        for start in range(0, len(data), limit):
            self.pending.append(data[start:start + limit])
        self.flush()

    def close(self):
        if self.closed:
            return
        self.close_after_send = True
        self.flush()

    def flush(self):
        if self.closed or self.awaiting_okay:
            return
        if self.pending:
            self.awaiting_okay = True
            self.connection.send(A_WRTE, self.local_id, self.host_id, self.pending.pop(0))
        elif self.close_after_send:
            self.closed = True
            self.connection.streams.pop(self.local_id, None)
            self.connection.send(A_CLSE, self.local_id, self.host_id)

    def on_okay(self, _host_id):
        self.awaiting_okay = False
        self.flush()

    def host_closed(self):
        if not self.closed:
            self.closed = True
            self.on_host_close()


class ShellStream(Stream):
    """A "shell:" stream, in the v2 framing when the host asked for it."""

    def __init__(self, connection, local_id, host_id, v2, pty, command):
        super().__init__(connection, local_id, host_id)
        self.v2 = v2
        self.pty = pty
        self.command = command

    def emit(self, kind, text):
        data = text.encode("utf-8") if isinstance(text, str) else text
        if not data:
            return
        if self.pty:
            data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            kind = SHELL_STDOUT
        if self.v2:
            self.write(shell_packet(kind, data))
        else:
            self.write(data)

    def out(self, text):
        self.emit(SHELL_STDOUT, text)

    def err(self, text):
        self.emit(SHELL_STDERR, text)

    def finish(self, status):
        if self.closed:
            return
        if self.v2:
            self.write(shell_packet(SHELL_EXIT, bytes([status & 0xFF])))
        self.close()

    def started(self):
        phone = self.connection.phone
        try:
            argv = shlex.split(self.command)
        except ValueError:
            argv = self.command.split()
        phone.log({"event": "shell", "transport": self.connection.number,
                   "v2": self.v2, "pty": self.pty, "command": self.command, "argv": argv})
        if not argv:
            self.err("/system/bin/sh: interactive shells are not simulated\n")
            self.finish(1)
            return
        if phone.package is not None and argv[0] == phone.executable_path():
            self.run_server(argv[1:])
            return
        result = run_command(phone, argv)
        self.out(result.out)
        self.err(result.err)
        self.finish(result.status)

    def run_server(self, args):
        phone = self.connection.phone
        if not phone.executable_present():
            self.err("/system/bin/sh: %s: not found\n" % phone.executable_path())
            self.finish(127)
            return
        if args == ["--stop"]:
            result = run_stop_request(phone)
            self.out(result.out)
            self.err(result.err)
            self.finish(result.status)
            return
        if phone.server is not None:
            self.err("%s: a server is already running (pid %d)\n"
                     % (EXECUTABLE_NAME, phone.server["pid"]))
            self.finish(1)
            return
        if phone.options.server_fails is not None:
            # Standard error first: a reader that lets the two streams
            # overwrite each other in one file loses this line.
            self.err(phone.options.server_fails + "\n")
            self.out("%s: exiting with status 1\n" % EXECUTABLE_NAME)
            self.finish(1)
            return
        phone.server = {"pid": phone.new_pid(),
                        "visible_at": time.monotonic() + phone.options.server_delay,
                        "stream": self}
        self.out("%s: listening on port %d (VNC) and %d (web)\n"
                 % (EXECUTABLE_NAME, phone.options.vnc_port, phone.options.vnc_port - 100))

    def on_host_close(self):
        # The server outlives the adb client that launched it.
        phone = self.connection.phone
        if phone.server is not None and phone.server.get("stream") is self:
            phone.server["stream"] = None


def run_command(phone, argv):
    name, args = argv[0], argv[1:]
    if name == "ps" and not args:
        return Result(out=phone.process_listing())
    if name == "ls":
        return run_ls(phone, args)
    if name == "am":
        return run_am(phone, args)
    if name == "kill":
        return run_kill(phone, args)
    if name == "getprop":
        return Result(out=getprop(phone, args))
    if name == "echo":
        return Result(out=" ".join(args) + "\n")
    if name == "input" and len(args) == 2 and args[0] == "keyevent" and args[1].isdigit():
        return Result()
    return Result(err="/system/bin/sh: %s: not found\n" % name, status=127)


def getprop(phone, args):
    props = {
        "ro.product.model": phone.options.model,
        "ro.product.name": phone.options.product,
        "ro.product.device": phone.options.device,
        "ro.build.version.sdk": "24",
        "ro.build.version.release": "7.0",
    }
    if args:
        return props.get(args[0], "") + "\n"
    return "".join("[%s]: [%s]\n" % item for item in sorted(props.items()))


# DES, as VNC authentication uses it: the challenge encrypted with the
# password as the key. Written out here because the standard library has none.
DES_IP = [58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
          62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
          57, 49, 41, 33, 25, 17, 9, 1, 59, 51, 43, 35, 27, 19, 11, 3,
          61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7]
DES_FP = [DES_IP.index(position) + 1 for position in range(1, 65)]
DES_E = [32, 1, 2, 3, 4, 5, 4, 5, 6, 7, 8, 9, 8, 9, 10, 11, 12, 13, 12, 13, 14, 15, 16, 17,
         16, 17, 18, 19, 20, 21, 20, 21, 22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31,
         32, 1]
DES_P = [16, 7, 20, 21, 29, 12, 28, 17, 1, 15, 23, 26, 5, 18, 31, 10,
         2, 8, 24, 14, 32, 27, 3, 9, 19, 13, 30, 6, 22, 11, 4, 25]
DES_PC1 = [57, 49, 41, 33, 25, 17, 9, 1, 58, 50, 42, 34, 26, 18,
           10, 2, 59, 51, 43, 35, 27, 19, 11, 3, 60, 52, 44, 36,
           63, 55, 47, 39, 31, 23, 15, 7, 62, 54, 46, 38, 30, 22,
           14, 6, 61, 53, 45, 37, 29, 21, 13, 5, 28, 20, 12, 4]
DES_PC2 = [14, 17, 11, 24, 1, 5, 3, 28, 15, 6, 21, 10, 23, 19, 12, 4, 26, 8, 16, 7, 27, 20, 13, 2,
           41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36,
           29, 32]
DES_SHIFTS = [1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1]
DES_S = [
    [14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7, 0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11,
     9, 5, 3, 8, 4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0, 15, 12, 8, 2, 4, 9, 1, 7, 5,
     11, 3, 14, 10, 0, 6, 13],
    [15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10, 3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10,
     6, 9, 11, 5, 0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15, 13, 8, 10, 1, 3, 15, 4, 2,
     11, 6, 7, 12, 0, 5, 14, 9],
    [10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8, 13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14,
     12, 11, 15, 1, 13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7, 1, 10, 13, 0, 6, 9, 8, 7,
     4, 15, 14, 3, 11, 5, 2, 12],
    [7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15, 13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12,
     1, 10, 14, 9, 10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4, 3, 15, 0, 6, 10, 1, 13, 8,
     9, 4, 5, 11, 12, 7, 2, 14],
    [2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9, 14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10,
     3, 9, 8, 6, 4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14, 11, 8, 12, 7, 1, 14, 2, 13,
     6, 15, 0, 9, 10, 4, 5, 3],
    [12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11, 10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14,
     0, 11, 3, 8, 9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6, 4, 3, 2, 12, 9, 5, 15, 10,
     11, 14, 1, 7, 6, 0, 8, 13],
    [4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1, 13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12,
     2, 15, 8, 6, 1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2, 6, 11, 13, 8, 1, 4, 10, 7,
     9, 5, 0, 15, 14, 2, 3, 12],
    [13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7, 1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11,
     0, 14, 9, 2, 7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8, 2, 1, 14, 7, 4, 10, 8, 13,
     15, 12, 9, 0, 3, 5, 6, 11],
]


def permute(value, table, width):
    result = 0
    for position in table:
        result = (result << 1) | ((value >> (width - position)) & 1)
    return result


def des_subkeys(key):
    bits = permute(int.from_bytes(key, "big"), DES_PC1, 64)
    left, right = bits >> 28, bits & 0xFFFFFFF
    subkeys = []
    for shift in DES_SHIFTS:
        left = ((left << shift) | (left >> (28 - shift))) & 0xFFFFFFF
        right = ((right << shift) | (right >> (28 - shift))) & 0xFFFFFFF
        subkeys.append(permute((left << 28) | right, DES_PC2, 56))
    return subkeys


def des_round(half, subkey):
    mixed = permute(half, DES_E, 32) ^ subkey
    out = 0
    for box in range(8):
        six = (mixed >> (42 - 6 * box)) & 0x3F
        row, column = ((six >> 4) & 2) | (six & 1), (six >> 1) & 0xF
        out = (out << 4) | DES_S[box][row * 16 + column]
    return permute(out, DES_P, 32)


def des_encrypt_block(key, block):
    bits = permute(int.from_bytes(block, "big"), DES_IP, 64)
    left, right = bits >> 32, bits & 0xFFFFFFFF
    for subkey in des_subkeys(key):
        left, right = right, left ^ des_round(right, subkey)
    return permute((right << 32) | left, DES_FP, 64).to_bytes(8, "big")


def vnc_auth_response(password, challenge):
    """RFB's VNC authentication: the password's first 8 bytes, each with its
    bits in reverse order, are the DES key for both halves of the challenge."""
    key = bytes(int("{:08b}".format(byte)[::-1], 2)
                for byte in password.encode("latin-1", "replace")[:8].ljust(8, b"\0"))
    return des_encrypt_block(key, challenge[:8]) + des_encrypt_block(key, challenge[8:16])


# The picture the phone's screen shows: one rule, which the tests' expected
# image (SimulatedPhone::expectedScreen) follows pixel for pixel. Red and
# green carry the column and the row, so a shifted or scaled copy shows; blue
# is a 32-pixel chequer, so a shift by a multiple of 256 shows too.
def screen_pixel(x, y):
    blue = 0xC0 if ((x // 32) + (y // 32)) % 2 else 0x40
    return x % 256, y % 256, blue


class PixelFormat:
    """The client's pixel format (SetPixelFormat) or the server's own."""

    LAYOUT = struct.Struct(">BBBBHHHBBBxxx")

    def __init__(self, bits=32, depth=24, big_endian=False, true_colour=True,
                 maxima=(255, 255, 255), shifts=(16, 8, 0)):
        self.bits = bits
        self.depth = depth
        self.big_endian = big_endian
        self.true_colour = true_colour
        self.maxima = maxima
        self.shifts = shifts

    @classmethod
    def unpack(cls, data):
        bits, depth, big, true_colour, rmax, gmax, bmax, rs, gs, bs = cls.LAYOUT.unpack(data)
        return cls(bits, depth, bool(big), bool(true_colour), (rmax, gmax, bmax), (rs, gs, bs))

    def pack(self):
        return self.LAYOUT.pack(self.bits, self.depth, int(self.big_endian),
                                int(self.true_colour), *self.maxima, *self.shifts)

    def usable(self):
        return self.true_colour and self.bits in (8, 16, 32)

    def key(self):
        return (self.bits, self.big_endian, self.maxima, self.shifts)

    def encode(self, red, green, blue):
        value = 0
        for channel, maximum, shift in zip((red, green, blue), self.maxima, self.shifts):
            value |= ((channel * maximum + 127) // 255) << shift
        return value.to_bytes(self.bits // 8, "big" if self.big_endian else "little")


class Screen:
    """The phone's picture in Raw encoding, each pixel format encoded once."""

    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.encoded = {}

    def rows(self, pixel_format):
        key = pixel_format.key()
        if key not in self.encoded:
            cache = {}
            rows = []
            for y in range(self.height):
                row = bytearray()
                for x in range(self.width):
                    colour = screen_pixel(x, y)
                    pixel = cache.get(colour)
                    if pixel is None:
                        pixel = cache[colour] = pixel_format.encode(*colour)
                    row += pixel
                rows.append(bytes(row))
            self.encoded[key] = rows
        return self.encoded[key]

    def raw_rectangle(self, pixel_format, x, y, width, height):
        size = pixel_format.bits // 8
        rows = self.rows(pixel_format)
        body = b"".join(rows[row][x * size:(x + width) * size] for row in range(y, y + height))
        return struct.pack(">HHHHi", x, y, width, height, 0) + body


def intersect(first, second):
    """The common part of two (x, y, width, height) rectangles, or None."""
    left, top = max(first[0], second[0]), max(first[1], second[1])
    right = min(first[0] + first[2], second[0] + second[2])
    bottom = min(first[1] + first[3], second[1] + second[3])
    if left >= right or top >= bottom:
        return None
    return left, top, right - left, bottom - top


RFB_SECURITY_NONE = 1
RFB_SECURITY_VNC = 2
RFB_ENCODING_RAW = 0
# Client to server messages and their fixed lengths (ClientCutText and
# SetEncodings carry more, read from their headers).
RFB_SET_PIXEL_FORMAT = 0
RFB_SET_ENCODINGS = 2
RFB_UPDATE_REQUEST = 3
RFB_KEY_EVENT = 4
RFB_POINTER_EVENT = 5
RFB_CUT_TEXT = 6
# The small area an incremental request gets: as if that much of the screen
# had been drawn again (with the same pixels, so the picture stays the rule).
CHANGED_AREA = (0, 0, 16, 16)


class VncStream(Stream):
    """The phone's VNC server: RFB 3.8, no security or VNC authentication,
    Raw frames of the known picture in the client's pixel format, pointer and
    key events logged."""

    def __init__(self, connection, local_id, host_id, options):
        super().__init__(connection, local_id, host_id)
        self.options = options
        self.desktop_name = options.desktop_name.encode("utf-8")
        self.screen = Screen(*options.screen)
        self.pixel_format = PixelFormat()
        self.received = b""
        self.stage = "version"
        self.challenge = os.urandom(16)
        self.held_request = None
        self.timer = None

    def started(self):
        self.write(b"RFB 003.008\n")

    def on_host_close(self):
        if self.timer is not None:
            self.timer.cancel()
            self.timer = None

    def log(self, entry):
        entry["transport"] = self.connection.number
        self.connection.phone.log(entry)

    def take(self, size):
        if len(self.received) < size:
            return None
        taken, self.received = self.received[:size], self.received[size:]
        return taken

    def on_data(self, data):
        self.received += data
        while not self.closed and self.step():
            pass

    def step(self):
        """Handles one whole message if it has arrived; False when not."""
        if self.stage == "version":
            if self.take(12) is None:
                return False
            if self.options.vnc_refusal is not None:
                reason = self.options.vnc_refusal.encode("utf-8")
                self.write(struct.pack(">BI", 0, len(reason)) + reason)
                self.close()
                return False
            self.stage = "security"
            kind = RFB_SECURITY_VNC if self.options.vnc_password is not None else RFB_SECURITY_NONE
            self.write(bytes([1, kind]))
            return True
        if self.stage == "security":
            choice = self.take(1)
            if choice is None:
                return False
            if self.options.vnc_password is not None:
                self.stage = "response"
                self.write(self.challenge)
            else:
                self.security_result(True)
            return True
        if self.stage == "response":
            response = self.take(16)
            if response is None:
                return False
            expected = vnc_auth_response(self.options.vnc_password, self.challenge)
            self.log({"event": "rfb_auth", "accepted": response == expected})
            self.security_result(response == expected)
            return True
        if self.stage == "init":
            if self.take(1) is None:
                return False
            self.stage = "normal"
            self.write(struct.pack(">HH", self.screen.width, self.screen.height) +
                       self.pixel_format.pack() +
                       struct.pack(">I", len(self.desktop_name)) + self.desktop_name)
            return True
        return self.client_message()

    def security_result(self, accepted):
        if accepted:
            self.stage = "init"
            self.write(struct.pack(">I", 0))
            return
        reason = b"Authentication failed"
        self.write(struct.pack(">II", 1, len(reason)) + reason)
        self.close()

    def client_message(self):
        if not self.received:
            return False
        kind = self.received[0]
        if kind == RFB_SET_PIXEL_FORMAT:
            message = self.take(20)
            if message is None:
                return False
            self.set_pixel_format(PixelFormat.unpack(message[4:20]))
        elif kind == RFB_SET_ENCODINGS:
            if len(self.received) < 4:
                return False
            count = struct.unpack(">H", self.received[2:4])[0]
            if self.take(4 + 4 * count) is None:
                return False
        elif kind == RFB_UPDATE_REQUEST:
            message = self.take(10)
            if message is None:
                return False
            incremental, x, y, w, h = struct.unpack(">BHHHH", message[1:])
            self.update_request(bool(incremental), (x, y, w, h))
        elif kind == RFB_KEY_EVENT:
            message = self.take(8)
            if message is None:
                return False
            down, keysym = struct.unpack(">BxxI", message[1:])
            self.log({"event": "rfb_key", "down": bool(down), "keysym": keysym})
        elif kind == RFB_POINTER_EVENT:
            message = self.take(6)
            if message is None:
                return False
            mask, x, y = struct.unpack(">BHH", message[1:])
            self.log({"event": "rfb_pointer", "x": x, "y": y, "mask": mask})
        elif kind == RFB_CUT_TEXT:
            if len(self.received) < 8:
                return False
            length = struct.unpack(">I", self.received[4:8])[0]
            if length > 1024 * 1024:
                return self.refuse("cut text of %d bytes" % length)
            if self.take(8 + length) is None:
                return False
        else:
            return self.refuse("message type %d" % kind)
        return True

    def refuse(self, what):
        self.log({"event": "rfb_unknown", "what": what})
        self.close()
        return False

    def set_pixel_format(self, pixel_format):
        if not pixel_format.usable():
            self.refuse("pixel format of %d bits" % pixel_format.bits)
            return
        self.pixel_format = pixel_format

    def update_request(self, incremental, request):
        area = intersect(request, (0, 0, self.screen.width, self.screen.height))
        if area is None:
            return
        if not incremental:
            self.log({"event": "rfb_frame", "x": area[0], "y": area[1], "width": area[2],
                      "height": area[3]})
            self.send_update(area)
            return
        # An incremental request waits, as on a phone whose screen is still,
        # then gets a small area drawn again.
        self.held_request = area
        if self.timer is None and self.options.update_interval > 0:
            loop = asyncio.get_running_loop()
            self.timer = loop.call_later(self.options.update_interval, self.send_held)

    def send_held(self):
        self.timer = None
        area, self.held_request = self.held_request, None
        if self.closed or area is None:
            return
        changed = intersect(CHANGED_AREA, area)
        if changed is not None:
            self.send_update(changed)

    def send_update(self, area):
        rectangle = self.screen.raw_rectangle(self.pixel_format, *area)
        self.write(struct.pack(">BxH", 0, 1) + rectangle)


class RelayStream(Stream):
    """The VNC port handed on to a real server: bytes relayed both ways, and
    either side's end closes the other."""

    # Bytes waiting for adb's acknowledgements before the relay stops reading
    # from the real server.
    BACKLOG = 1024 * 1024

    def __init__(self, connection, local_id, host_id, address):
        super().__init__(connection, local_id, host_id)
        self.address = address
        self.early = b""
        self.writer = None
        self.task = None
        self.drained = asyncio.Event()
        self.drained.set()

    def started(self):
        self.task = asyncio.ensure_future(self.pump())

    async def pump(self):
        host, port = self.address
        try:
            reader, self.writer = await asyncio.open_connection(host, port)
        except OSError as error:
            self.connection.phone.log({"event": "relay_failed", "error": str(error)})
            self.close()
            return
        if self.closed:
            self.writer.close()
            return
        self.writer.write(self.early)
        self.early = b""
        try:
            while not self.closed:
                await self.drained.wait()
                data = await reader.read(256 * 1024)
                if not data:
                    break
                self.write(data)
                if sum(map(len, self.pending)) > self.BACKLOG:
                    self.drained.clear()
        except (ConnectionError, OSError):
            pass
        self.writer.close()
        self.close()

    def on_data(self, data):
        if self.writer is None:
            self.early += data
        else:
            self.writer.write(data)

    def on_okay(self, host_id):
        super().on_okay(host_id)
        if sum(map(len, self.pending)) <= self.BACKLOG:
            self.drained.set()

    def on_host_close(self):
        self.drained.set()
        if self.writer is not None:
            self.writer.close()
        elif self.task is not None:
            self.task.cancel()


class WebStream(Stream):
    PAGE = (b"<!DOCTYPE html>\n<html><head><title>Ostrel VNC Server</title></head>"
            b"<body><p>Ostrel VNC Server is running.</p></body></html>\n")

    def __init__(self, connection, local_id, host_id):
        super().__init__(connection, local_id, host_id)
        self.request = b""

    def on_data(self, data):
        if self.closed or len(self.request) > 65536:
            return
        self.request += data
        if b"\r\n\r\n" not in self.request and b"\n\n" not in self.request:
            return
        first_line = self.request.split(b"\n", 1)[0].strip()
        if first_line.startswith(b"GET "):
            head = (b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                    b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(self.PAGE))
            self.write(head + self.PAGE)
        else:
            self.write(b"HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n"
                       b"Connection: close\r\n\r\n")
        self.close()


def parse_shell_service(service):
    """Splits "shell[,args]:command" into (v2, pty, command), or None."""
    if not service.startswith("shell"):
        return None
    head, colon, command = service.partition(":")
    if not colon:
        return None
    args = head.split(",")
    if args[0] != "shell":
        return None
    options = args[1:]
    v2 = "v2" in options
    if v2:
        pty = "pty" in options
    else:
        # Phones from before shell_v2 ran every shell command on a pty, which
        # is where their "\r\n" line ends came from.
        pty = "raw" not in options
    return v2, pty, command


def open_service(connection, local_id, host_id, service):
    phone = connection.phone
    shell = parse_shell_service(service)
    if shell is not None:
        v2, pty, command = shell
        if v2 and not phone.options.shell_v2:
            return None
        return ShellStream(connection, local_id, host_id, v2, pty, command)
    if service.startswith("tcp:"):
        port_text = service[4:].split(":")[-1]
        phone.log({"event": "tcp", "transport": connection.number, "service": service,
                   "server_running": phone.server_visible()})
        if not port_text.isdigit() or not phone.server_visible():
            return None
        port = int(port_text)
        if port == phone.options.vnc_port and phone.options.vnc_relay is not None:
            return RelayStream(connection, local_id, host_id, phone.options.vnc_relay)
        if port == phone.options.vnc_port:
            return VncStream(connection, local_id, host_id, phone.options)
        if port == phone.options.vnc_port - 100:
            return WebStream(connection, local_id, host_id)
        return None
    return None


def screen_size(text):
    width, _, height = text.partition("x")
    if not (width.isdigit() and height.isdigit()) or not (
            0 < int(width) < 65536 and 0 < int(height) < 65536):
        raise argparse.ArgumentTypeError("a screen size is WIDTHxHEIGHT, e.g. 360x800")
    return int(width), int(height)


def host_and_port(text):
    host, _, port = text.rpartition(":")
    if not host or not port.isdigit() or not 0 < int(port) < 65536:
        raise argparse.ArgumentTypeError("an address is HOST:PORT")
    return host, int(port)


def parse_options(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--scenario", help="JSON file whose keys override these options "
                        "(same names, with underscores)")
    parser.add_argument("--package", choices=["first", "second", "none"], default="first",
                        help="under which package the app is installed")
    parser.add_argument("--exe-size", type=int, default=845312,
                        help="size in bytes of the server executable")
    parser.add_argument("--exe-delay", type=float, default=None,
                        help="the executable appears only this many seconds after the first "
                        "launch of the app's activity (default: present from the start)")
    parser.add_argument("--server-delay", type=float, default=0.0,
                        help="seconds before a launched server shows in the process list")
    parser.add_argument("--ignore-stop", action="store_true",
                        help="the server ignores --stop")
    parser.add_argument("--survives-kill", action="store_true",
                        help="kill -9 of the server succeeds, yet it stays listed")
    parser.add_argument("--server-fails", metavar="TEXT", default=None,
                        help="a launched server prints TEXT on standard error and ends "
                        "with status 1, never listed")
    parser.add_argument("--listing-denied", action="store_true",
                        help="ls -l of any path is refused with Permission denied")
    parser.add_argument("--already-running", action="store_true",
                        help="the server runs from the start")
    parser.add_argument("--state", choices=["device", "unauthorized"], default="device")
    parser.add_argument("--no-shell-v2", dest="shell_v2", action="store_false",
                        help="behave like an old phone without the shell_v2 feature")
    parser.add_argument("--am-error-status", type=int, default=0,
                        help="exit status of am start for a missing activity")
    parser.add_argument("--vnc-port", type=int, default=5901)
    parser.add_argument("--product", default="kestrel")
    parser.add_argument("--model", default="KS_200")
    parser.add_argument("--desktop-name", default="kestrel",
                        help="the name the VNC server gives in its ServerInit")
    parser.add_argument("--device", default="kestrel")
    parser.add_argument("--screen", type=screen_size, default=(360, 800), metavar="WxH",
                        help="size of the VNC server's screen (default 360x800)")
    parser.add_argument("--vnc-password", default=None,
                        help="the VNC server asks for VNC authentication with this password")
    parser.add_argument("--update-interval", type=float, default=0.1,
                        help="seconds an incremental update request waits before a small area "
                        "is sent again (0: it waits for ever)")
    parser.add_argument("--vnc-refusal", metavar="TEXT", default=None,
                        help="the VNC server greets, then refuses every client with this reason")
    parser.add_argument("--vnc-relay", type=host_and_port, default=None, metavar="HOST:PORT",
                        help="the VNC port relays to a real server at HOST:PORT instead")
    parser.add_argument("--log", help="file to append one JSON line per event to")
    parser.add_argument("--listen-port", type=int, default=0)
    parser.add_argument("--keep-running-on-stdin-eof", action="store_true")
    options = parser.parse_args(argv)
    if options.scenario:
        with open(options.scenario, encoding="utf-8") as scenario:
            for key, value in json.load(scenario).items():
                key = key.replace("-", "_")
                if not hasattr(options, key):
                    parser.error("unknown scenario key: %s" % key)
                setattr(options, key, value)
        try:
            if isinstance(options.screen, str):
                options.screen = screen_size(options.screen)
            if isinstance(options.vnc_relay, str):
                options.vnc_relay = host_and_port(options.vnc_relay)
        except argparse.ArgumentTypeError as error:
            parser.error(str(error))
    if options.package not in ("first", "second", "none"):
        parser.error("package must be first, second or none")
    if options.exe_size < 0 or not 0 < options.vnc_port < 65536 or options.vnc_port <= 100:
        parser.error("the executable's size and the VNC port must be sensible numbers")
    return options


async def watch_stdin(stop):
    loop = asyncio.get_running_loop()
    await loop.run_in_executor(None, sys.stdin.buffer.read)
    stop.set()


async def serve(options):
    phone = Phone(options)
    counter = [0]

    async def accept(reader, writer):
        counter[0] += 1
        await Connection(phone, reader, writer, counter[0]).run()

    server = await asyncio.start_server(accept, "127.0.0.1", options.listen_port)
    port = server.sockets[0].getsockname()[1]
    sys.stdout.write("%d\n" % port)
    sys.stdout.flush()
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    loop.add_signal_handler(signal.SIGINT, stop.set)
    if not options.keep_running_on_stdin_eof:
        asyncio.ensure_future(watch_stdin(stop))
    await stop.wait()
    server.close()
    # The thread blocked on stdin would keep an orderly exit waiting.
    os._exit(0)


def main():
    options = parse_options(sys.argv[1:])
    asyncio.run(serve(options))


if __name__ == "__main__":
    main()
