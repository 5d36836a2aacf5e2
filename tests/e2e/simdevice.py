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


class VncStream(Stream):
    """RFB 3.8 up to ServerInit, with no security, so that a client can tell
    phones apart by their desktop names."""

    def __init__(self, connection, local_id, host_id, desktop_name):
        super().__init__(connection, local_id, host_id)
        self.desktop_name = desktop_name.encode("utf-8")
        self.received = b""
        self.stage = "version"

    def started(self):
        self.write(b"RFB 003.008\n")

    def on_data(self, data):
        self.received += data
        if self.stage == "version" and len(self.received) >= 12:
            self.received = self.received[12:]
            self.stage = "security"
            self.write(b"\x01\x01")  # one security type: None
        if self.stage == "security" and len(self.received) >= 1:
            self.received = self.received[1:]
            self.stage = "init"
            self.write(struct.pack(">I", 0))  # SecurityResult: OK
        if self.stage == "init" and len(self.received) >= 1:
            self.received = self.received[1:]
            self.stage = "done"
            pixel_format = struct.pack(">BBBBHHHBBBxxx", 32, 24, 0, 1, 255, 255, 255, 16, 8, 0)
            self.write(struct.pack(">HH", 320, 240) + pixel_format +
                       struct.pack(">I", len(self.desktop_name)) + self.desktop_name)


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
        if port == phone.options.vnc_port:
            return VncStream(connection, local_id, host_id, phone.options.desktop_name)
        if port == phone.options.vnc_port - 100:
            return WebStream(connection, local_id, host_id)
        return None
    return None


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
