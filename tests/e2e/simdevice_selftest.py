#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Proves the simulated phone against the real adb client and server.

Every test class runs its own adb server on a free port with its own HOME, and
kills it at the end; the default adb server and real phones are never touched.
A simulated phone that cannot start fails the test; nothing is skipped.
"""

import json
import os
import struct
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import simdevice  # noqa: E402  (the picture's rule and the DES, from the phone itself)
SIMDEVICE = os.path.join(HERE, "simdevice.py")
FIRST_PATH = "/data/data/com.ostrel.vncserver/files/ostrelvncserver"
SECOND_PATH = "/data/data/com.halvorn.pellit/files/ostrelvncserver"
AM_START = ["am", "start", "-a", "android.intent.action.MAIN", "-n"]
COMMAND_TIMEOUT = 20


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class SimulatedPhone:
    def __init__(self, directory, *options):
        self.log_path = os.path.join(directory, "phone-%d.jsonl" % id(self))
        error_path = os.path.join(directory, "phone-%d.err" % id(self))
        with open(error_path, "wb") as errors:
            self.process = subprocess.Popen(
                [sys.executable, SIMDEVICE, "--log", self.log_path, *options],
                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=errors)
        line = self.process.stdout.readline().strip()
        if not line.isdigit():
            self.process.kill()
            self.process.wait()
            with open(error_path, encoding="utf-8", errors="replace") as errors:
                raise RuntimeError("the simulated phone did not start: %r %s"
                                   % (line, errors.read()))
        self.port = int(line)
        self.serial = "127.0.0.1:%d" % self.port

    def shell_commands(self):
        if not os.path.exists(self.log_path):
            return []
        with open(self.log_path, encoding="utf-8") as log:
            entries = [json.loads(line) for line in log]
        return [entry["argv"] for entry in entries if entry["event"] == "shell"]

    def stop(self):
        self.process.stdin.close()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()


class AdbServer:
    """A private adb server: its own port, HOME and log folder."""

    def __init__(self, directory):
        self.adb = shutil.which("adb")
        if self.adb is None:
            raise RuntimeError("adb is not installed")
        self.environment = dict(os.environ, HOME=directory, TMPDIR=directory,
                                ANDROID_ADB_SERVER_PORT=str(free_port()))
        self.environment.pop("ANDROID_SERIAL", None)

    def run(self, *arguments, text=True):
        return subprocess.run([self.adb, *arguments], env=self.environment,
                              stdin=subprocess.DEVNULL, capture_output=True, text=text,
                              timeout=COMMAND_TIMEOUT)

    def start(self, *arguments):
        return subprocess.Popen([self.adb, *arguments], env=self.environment,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)

    def connect(self, phone, state="device"):
        wanted = "%s\t%s" % (phone.serial, state)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            self.run("connect", phone.serial)
            if wanted in self.run("devices").stdout.splitlines():
                return
            time.sleep(0.2)
        raise AssertionError("adb never listed %r" % wanted)

    def shell(self, phone, *command):
        return self.run("-s", phone.serial, "shell", *command)

    def stop(self):
        self.run("kill-server")


def read_all(port, request=b""):
    with socket.create_connection(("127.0.0.1", port), timeout=5) as client:
        if request:
            client.sendall(request)
        received = b""
        while True:
            try:
                chunk = client.recv(4096)
            except socket.timeout:
                break
            if not chunk:
                break
            received += chunk
            if request == b"" and received.endswith(b"\n"):
                break
        return received


def server_lines(ps_output, path):
    return [line.split() for line in ps_output.splitlines() if line.split()[-1:] == [path]]


class AdbTestCase(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.mkdtemp(prefix="simdevice-")
        self.adb = AdbServer(self.directory)
        self.phones = []
        self.children = []

    def tearDown(self):
        self.adb.stop()
        for child in self.children:
            if child.poll() is None:
                child.kill()
            child.communicate()
        for phone in self.phones:
            phone.stop()
        shutil.rmtree(self.directory, ignore_errors=True)

    def phone(self, *options, state="device"):
        phone = SimulatedPhone(self.directory, *options)
        self.phones.append(phone)
        self.adb.connect(phone, state)
        return phone

    def launch_server(self, phone, path=FIRST_PATH):
        child = self.adb.start("-s", phone.serial, "shell", path)
        self.children.append(child)
        return child

    def wait_for_server(self, phone, path=FIRST_PATH, seconds=5):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            rows = server_lines(self.adb.shell(phone, "ps").stdout, path)
            if rows:
                return rows
            time.sleep(0.1)
        self.fail("the server never showed in ps")


class ShellCommandsTest(AdbTestCase):
    def test_process_listing_before_and_after_launch(self):
        phone = self.phone()
        before = self.adb.shell(phone, "ps")
        self.assertEqual(before.returncode, 0, before.stderr)
        lines = before.stdout.splitlines()
        self.assertEqual(lines[0].split(),
                         ["USER", "PID", "PPID", "VSIZE", "RSS", "WCHAN", "PC", "NAME"])
        self.assertGreaterEqual(len(lines), 60)
        self.assertNotIn("ostrelvncserver", before.stdout)

        self.adb.shell(phone, *AM_START, "com.ostrel.vncserver/.MainActivity")
        server = self.launch_server(phone)
        rows = self.wait_for_server(phone)
        self.assertEqual(len(rows), 1)
        self.assertTrue(rows[0][1].isdigit())
        app_rows = [line for line in self.adb.shell(phone, "ps").stdout.splitlines()
                    if line.endswith(" com.ostrel.vncserver")]
        self.assertEqual(len(app_rows), 1, "the app's own process is listed by its package")
        self.assertNotEqual(app_rows[0].split()[1], rows[0][1])
        self.assertIsNone(server.poll(), "the server's stream stays open while it runs")

    def test_file_listing_found_and_missing(self):
        phone = self.phone("--exe-size", "420556")
        found = self.adb.shell(phone, "ls", "-l", FIRST_PATH)
        self.assertEqual((found.returncode, found.stderr), (0, ""))
        self.assertEqual(found.stdout.split()[3], "420556")
        self.assertTrue(found.stdout.startswith("-rwxr-xr-x "))

        missing = self.adb.shell(phone, "ls", "-l", SECOND_PATH)
        self.assertEqual(missing.returncode, 1)
        self.assertEqual(missing.stdout, "")
        self.assertEqual(missing.stderr, "ls: %s: No such file or directory\n" % SECOND_PATH)

    def test_activity_launch_installed_and_missing(self):
        phone = self.phone("--package", "second")
        installed = self.adb.shell(phone, *AM_START, "com.halvorn.pellit/.MainActivity")
        self.assertEqual(installed.returncode, 0)
        self.assertEqual(installed.stdout, "Starting: Intent { act=android.intent.action.MAIN "
                         "cmp=com.halvorn.pellit/.MainActivity }\n")
        self.assertEqual(installed.stderr, "")

        missing = self.adb.shell(phone, *AM_START, "com.ostrel.vncserver/.MainActivity")
        self.assertEqual(missing.returncode, 0, "am reports a missing activity with status 0")
        self.assertTrue(missing.stdout.startswith("Starting: Intent {"))
        self.assertEqual(missing.stderr,
                         "Error type 3\nError: Activity class {com.ostrel.vncserver/"
                         "com.ostrel.vncserver.MainActivity} does not exist.\n")

    def test_commands_are_logged_in_order(self):
        phone = self.phone()
        self.adb.shell(phone, "ps")
        self.adb.shell(phone, "ls", "-l", FIRST_PATH)
        self.adb.shell(phone, "kill", "-9", "4321")
        self.assertEqual(phone.shell_commands(),
                         [["ps"], ["ls", "-l", FIRST_PATH], ["kill", "-9", "4321"]])


class ServerLifecycleTest(AdbTestCase):
    def test_stop_request_ends_the_server_and_its_stream(self):
        phone = self.phone()
        server = self.launch_server(phone)
        self.wait_for_server(phone)
        stop = self.adb.shell(phone, FIRST_PATH, "--stop")
        self.assertEqual(stop.returncode, 0, stop.stderr)
        self.assertEqual(server.wait(COMMAND_TIMEOUT), 0)
        self.assertEqual(server_lines(self.adb.shell(phone, "ps").stdout, FIRST_PATH), [])

    def test_kill_ends_the_server_with_the_signal_status(self):
        phone = self.phone()
        server = self.launch_server(phone)
        pid = self.wait_for_server(phone)[0][1]
        wrong = self.adb.shell(phone, "kill", "-9", "99999")
        self.assertEqual(wrong.returncode, 1)
        self.assertEqual(wrong.stderr, "/system/bin/sh: kill: 99999: No such process\n")
        kill = self.adb.shell(phone, "kill", "-9", pid)
        self.assertEqual((kill.returncode, kill.stdout, kill.stderr), (0, "", ""))
        self.assertEqual(server.wait(COMMAND_TIMEOUT), 137)
        self.assertEqual(server_lines(self.adb.shell(phone, "ps").stdout, FIRST_PATH), [])

    def test_server_outlives_the_adb_client_that_launched_it(self):
        phone = self.phone()
        server = self.launch_server(phone)
        self.wait_for_server(phone)
        server.kill()
        server.wait()
        time.sleep(0.2)
        self.assertEqual(len(self.wait_for_server(phone)), 1)
        self.assertEqual(self.adb.shell(phone, FIRST_PATH, "--stop").returncode, 0)
        self.assertEqual(server_lines(self.adb.shell(phone, "ps").stdout, FIRST_PATH), [])

    def test_scenario_file_with_a_server_already_running(self):
        scenario = os.path.join(self.directory, "scenario.json")
        with open(scenario, "w", encoding="utf-8") as file:
            json.dump({"package": "second", "already_running": True}, file)
        phone = self.phone("--scenario", scenario)
        self.assertEqual(len(self.wait_for_server(phone, SECOND_PATH, seconds=0.5)), 1)
        again = self.adb.shell(phone, SECOND_PATH)
        self.assertEqual(again.returncode, 1, "a second server refuses to start")

    def test_scenario_timings_and_ignored_stop(self):
        phone = self.phone("--exe-delay", "1", "--server-delay", "2", "--ignore-stop")
        self.assertEqual(self.adb.shell(phone, "ls", "-l", FIRST_PATH).returncode, 1)
        self.adb.shell(phone, *AM_START, "com.ostrel.vncserver/.MainActivity")
        self.assertEqual(self.adb.shell(phone, "ls", "-l", FIRST_PATH).returncode, 1,
                         "the executable is not extracted at once")
        time.sleep(1.1)
        self.assertEqual(self.adb.shell(phone, "ls", "-l", FIRST_PATH).returncode, 0)

        server = self.launch_server(phone)
        deadline = time.monotonic() + 5
        while [FIRST_PATH] not in phone.shell_commands() and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(server_lines(self.adb.shell(phone, "ps").stdout, FIRST_PATH), [],
                         "the server shows only after its delay")
        self.wait_for_server(phone)
        self.adb.shell(phone, FIRST_PATH, "--stop")
        self.assertEqual(len(self.wait_for_server(phone)), 1, "--stop was ignored")
        self.assertIsNone(server.poll())

    def test_server_that_fails_prints_and_ends(self):
        phone = self.phone("--server-fails", "bind: Address already in use")
        launched = self.adb.shell(phone, FIRST_PATH)
        self.assertEqual(launched.returncode, 1)
        self.assertEqual(launched.stderr, "bind: Address already in use\n")
        self.assertEqual(launched.stdout, "ostrelvncserver: exiting with status 1\n")
        self.assertEqual(server_lines(self.adb.shell(phone, "ps").stdout, FIRST_PATH), [])

    def test_server_that_survives_kill(self):
        phone = self.phone("--survives-kill", "--ignore-stop")
        self.launch_server(phone)
        pid = self.wait_for_server(phone)[0][1]
        kill = self.adb.shell(phone, "kill", "-9", pid)
        self.assertEqual((kill.returncode, kill.stderr), (0, ""))
        self.assertEqual(self.wait_for_server(phone)[0][1], pid)

    def test_file_listing_denied(self):
        phone = self.phone("--listing-denied")
        for path in (FIRST_PATH, SECOND_PATH):
            denied = self.adb.shell(phone, "ls", "-l", path)
            self.assertEqual((denied.returncode, denied.stdout), (1, ""))
            self.assertEqual(denied.stderr, "ls: %s: Permission denied\n" % path)


class ForwardTest(AdbTestCase):
    def test_forwarded_vnc_and_web_ports(self):
        phone = self.phone()
        vnc, web = free_port(), free_port()
        forward = self.adb.run("-s", phone.serial, "forward", "tcp:%d" % vnc, "tcp:5901")
        self.assertEqual((forward.returncode, forward.stdout), (0, "%d\n" % vnc),
                         "adb 29 prints the local port on success")
        self.adb.run("-s", phone.serial, "forward", "tcp:%d" % web, "tcp:5801")
        self.assertEqual(read_all(vnc), b"", "nothing answers before the server runs")

        self.launch_server(phone)
        self.wait_for_server(phone)
        self.assertEqual(read_all(vnc), b"RFB 003.008\n")
        page = read_all(web, b"GET / HTTP/1.1\r\nHost: localhost\r\n\r\n")
        self.assertTrue(page.startswith(b"HTTP/1.1 200 OK\r\n"), page)
        self.assertIn(b"<html>", page)

    def test_forward_to_a_taken_local_port_is_refused(self):
        phone = self.phone()
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            port = taken.getsockname()[1]
            forward = self.adb.run("-s", phone.serial, "forward", "tcp:%d" % port, "tcp:5901")
        self.assertEqual(forward.returncode, 1)
        self.assertEqual(forward.stdout, "")
        self.assertEqual(forward.stderr, "adb: error: cannot bind listener: Address already in use\n")


def receive_exactly(client, size):
    received = b""
    while len(received) < size:
        chunk = client.recv(size - len(received))
        if not chunk:
            raise AssertionError("the stream closed after %d of %d bytes" % (len(received), size))
        received += chunk
    return received


def closes(client, seconds=5):
    """True when the other end closes `client` within `seconds`."""
    client.settimeout(seconds)
    try:
        while client.recv(65536):
            pass
        return True
    except socket.timeout:
        return False
    except ConnectionError:
        return True


def rfb_open(port, password=None):
    """Connects and handshakes as an RFB 3.8 client; returns (socket, width,
    height, name)."""
    client = socket.create_connection(("127.0.0.1", port), timeout=10)
    assert receive_exactly(client, 12) == b"RFB 003.008\n"
    client.sendall(b"RFB 003.008\n")
    count = receive_exactly(client, 1)[0]
    types = receive_exactly(client, count)
    if password is None:
        assert types == b"\x01", types
        client.sendall(b"\x01")
    else:
        assert types == b"\x02", types
        client.sendall(b"\x02")
        challenge = receive_exactly(client, 16)
        client.sendall(simdevice.vnc_auth_response(password, challenge))
    status = struct.unpack(">I", receive_exactly(client, 4))[0]
    if status != 0:
        length = struct.unpack(">I", receive_exactly(client, 4))[0]
        reason = receive_exactly(client, length).decode()
        client.close()
        raise PermissionError(reason)
    client.sendall(b"\x01")
    width, height = struct.unpack(">HH", receive_exactly(client, 4))
    receive_exactly(client, 16)
    name_length = struct.unpack(">I", receive_exactly(client, 4))[0]
    return client, width, height, receive_exactly(client, name_length).decode()


def rfb_update(client, pixel_bytes):
    """One FramebufferUpdate of Raw rectangles: [(x, y, w, h, pixels)]."""
    kind, count = struct.unpack(">BxH", receive_exactly(client, 4))
    assert kind == 0, kind
    rectangles = []
    for _ in range(count):
        x, y, w, h, encoding = struct.unpack(">HHHHi", receive_exactly(client, 12))
        assert encoding == 0, encoding
        rectangles.append((x, y, w, h, receive_exactly(client, w * h * pixel_bytes)))
    return rectangles


def expected_pixels(x, y, w, h, encode):
    return b"".join(encode(*simdevice.screen_pixel(column, row))
                    for row in range(y, y + h) for column in range(x, x + w))


def rgb565_big_endian(red, green, blue):
    return struct.pack(">H", ((red * 31 + 127) // 255) << 11 | ((green * 63 + 127) // 255) << 5 |
                       (blue * 31 + 127) // 255)


def bgrx_little_endian(red, green, blue):
    return bytes([blue, green, red, 0])


class VncServerTest(AdbTestCase):
    """The phone's VNC server, reached through an adb forward."""

    def forwarded_phone(self, *options):
        phone = self.phone("--already-running", *options)
        port = free_port()
        self.adb.run("-s", phone.serial, "forward", "tcp:%d" % port, "tcp:5901")
        return phone, port

    def events(self, phone, kind):
        with open(phone.log_path, encoding="utf-8") as log:
            return [entry for entry in map(json.loads, log) if entry["event"] == kind]

    def test_frames_in_the_clients_pixel_format(self):
        phone, port = self.forwarded_phone("--screen", "40x70", "--desktop-name", "pebble")
        client, width, height, name = rfb_open(port)
        with client:
            self.assertEqual((width, height, name), (40, 70, "pebble"))
            self.assertEqual(self.events(phone, "rfb_frame"), [], "nothing sent unasked")
            client.sendall(struct.pack(">BBHHHH", 3, 0, 10, 20, 30, 40))
            self.assertEqual(rfb_update(client, 4),
                             [(10, 20, 30, 40, expected_pixels(10, 20, 30, 40,
                                                               bgrx_little_endian))],
                             "the server's own format before any SetPixelFormat")
            self.assertEqual([(e["x"], e["y"], e["width"], e["height"])
                              for e in self.events(phone, "rfb_frame")], [(10, 20, 30, 40)])
            rgb565 = struct.pack(">BBBBHHHBBBxxx", 16, 16, 1, 1, 31, 63, 31, 11, 5, 0)
            client.sendall(b"\x00\x00\x00\x00" + rgb565)
            client.sendall(struct.pack(">BBHHHH", 3, 0, 0, 0, 40, 70))
            self.assertEqual(rfb_update(client, 2),
                             [(0, 0, 40, 70, expected_pixels(0, 0, 40, 70, rgb565_big_endian))])
            client.sendall(struct.pack(">BBHHHH", 3, 1, 0, 0, 40, 70))
            self.assertEqual(rfb_update(client, 2),
                             [(0, 0, 16, 16, expected_pixels(0, 0, 16, 16, rgb565_big_endian))],
                             "an incremental request gets a small area")

    def test_pointer_and_key_events_are_logged(self):
        phone, port = self.forwarded_phone()
        client, _, _, _ = rfb_open(port)
        with client:
            client.sendall(struct.pack(">BBHH", 5, 1, 123, 456) + struct.pack(">BBHH", 5, 0, 7, 8) +
                           struct.pack(">BBxxI", 4, 1, 0xFF0D) + struct.pack(">BBxxI", 4, 0, 0x1000263A))
            deadline = time.monotonic() + 5
            while len(self.events(phone, "rfb_key")) < 2 and time.monotonic() < deadline:
                time.sleep(0.05)
        pointer = [(e["x"], e["y"], e["mask"]) for e in self.events(phone, "rfb_pointer")]
        keys = [(e["down"], e["keysym"]) for e in self.events(phone, "rfb_key")]
        self.assertEqual(pointer, [(123, 456, 1), (7, 8, 0)])
        self.assertEqual(keys, [(True, 0xFF0D), (False, 0x1000263A)])

    def test_vnc_authentication(self):
        # The textbook worked example of DES.
        self.assertEqual(simdevice.des_encrypt_block(bytes.fromhex("133457799BBCDFF1"),
                                                     bytes.fromhex("0123456789ABCDEF")).hex(),
                         "85e813540f0ab405")
        phone, port = self.forwarded_phone("--vnc-password", "sesame")
        with self.assertRaisesRegex(PermissionError, "Authentication failed"):
            rfb_open(port, "sesam")
        client, width, height, _ = rfb_open(port, "sesame")
        client.close()
        self.assertEqual((width, height), (360, 800))
        self.assertEqual([e["accepted"] for e in self.events(phone, "rfb_auth")], [False, True])

    def test_refusal_after_the_greeting(self):
        _, port = self.forwarded_phone("--vnc-refusal", "Too many viewers")
        with socket.create_connection(("127.0.0.1", port), timeout=10) as client:
            self.assertEqual(receive_exactly(client, 12), b"RFB 003.008\n")
            client.sendall(b"RFB 003.008\n")
            self.assertEqual(receive_exactly(client, 5), b"\0\0\0\0\x10")
            self.assertEqual(receive_exactly(client, 16), b"Too many viewers")
            self.assertTrue(closes(client))

    def test_unplugging_the_phone_closes_the_stream(self):
        phone, port = self.forwarded_phone()
        client, _, _, _ = rfb_open(port)
        with client:
            self.assertEqual(self.adb.run("disconnect", phone.serial).returncode, 0)
            self.assertTrue(closes(client))

    def test_relay_to_a_real_server(self):
        with socket.socket() as real:
            real.bind(("127.0.0.1", 0))
            real.listen()
            phone, port = self.forwarded_phone("--vnc-relay", "127.0.0.1:%d" % real.getsockname()[1])
            with socket.create_connection(("127.0.0.1", port), timeout=10) as client:
                client.sendall(b"from the viewer")
                real.settimeout(10)
                served, _ = real.accept()
                with served:
                    served.settimeout(10)
                    self.assertEqual(receive_exactly(served, 15), b"from the viewer")
                    big = os.urandom(3 * 1024 * 1024)
                    served.sendall(big)
                    self.assertEqual(receive_exactly(client, len(big)), big)
                    self.assertEqual(self.adb.run("disconnect", phone.serial).returncode, 0)
                    self.assertTrue(closes(served), "unplugged, the real server's side closes")
                    self.assertTrue(closes(client))


class DeviceStatesTest(AdbTestCase):
    def test_unauthorized_phone(self):
        phone = self.phone("--state", "unauthorized", state="unauthorized")
        shell = self.adb.shell(phone, "ps")
        self.assertEqual(shell.returncode, 1)
        self.assertTrue(shell.stderr.startswith("error: device unauthorized."), shell.stderr)
        self.assertEqual(phone.shell_commands(), [])

    def test_two_phones_at_once(self):
        first = self.phone()
        second = self.phone("--package", "second")
        listing = self.adb.run("devices").stdout.splitlines()
        self.assertIn("%s\tdevice" % first.serial, listing)
        self.assertIn("%s\tdevice" % second.serial, listing)
        ambiguous = self.adb.run("shell", "ps")
        self.assertEqual((ambiguous.returncode, ambiguous.stderr),
                         (1, "error: more than one device/emulator\n"))
        self.adb.shell(second, "ls", "-l", SECOND_PATH)
        self.assertEqual(first.shell_commands(), [])
        self.assertEqual(second.shell_commands(), [["ls", "-l", SECOND_PATH]])

    def test_phone_without_shell_v2(self):
        phone = self.phone("--no-shell-v2")
        missing = self.adb.run("-s", phone.serial, "shell", "ls", "-l", SECOND_PATH, text=False)
        self.assertEqual(missing.returncode, 0, "no exit status without shell_v2")
        self.assertEqual(missing.stderr, b"", "everything arrives on stdout")
        self.assertEqual(missing.stdout,
                         b"ls: %s: No such file or directory\r\n" % SECOND_PATH.encode())


if __name__ == "__main__":
    unittest.main(verbosity=2)
