#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Closes the windows on an X display without a window manager as a user
would: each shown top-level window that takes WM_DELETE_WINDOW is sent the
message a window's close button sends.

    close_window.py DISPLAY [--pids]

With --pids it closes nothing and prints the process id of each such window,
one a line. Exit status 0 when there was at least one such window, 1 when
there is none (yet), 2 when the display cannot be reached. Python standard
library only: it speaks the X protocol itself.
"""

import socket
import struct
import sys

MAP_STATE_VIEWABLE = 2
CLIENT_MESSAGE = 33


class XConnection:
    def __init__(self, display_number):
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.socket.settimeout(5)
        self.socket.connect("/tmp/.X11-unix/X%d" % display_number)
        self.socket.sendall(struct.pack("<BxHHHHxx", ord("l"), 11, 0, 0, 0))
        status, _, _, _, extra = struct.unpack("<BBHHH", self.receive(8))
        setup = self.receive(extra * 4)
        if status != 1:
            raise ConnectionError("the display refused: %r" % setup)
        vendor_length, = struct.unpack_from("<H", setup, 16)
        formats = setup[21]
        screens_at = 32 + (vendor_length + 3) // 4 * 4 + 8 * formats
        self.root, = struct.unpack_from("<I", setup, screens_at)

    def receive(self, size):
        data = b""
        while len(data) < size:
            chunk = self.socket.recv(size - len(data))
            if not chunk:
                raise ConnectionError("the display closed the connection")
            data += chunk
        return data

    def request(self, opcode, detail, body):
        """Sends a request and returns its reply, or None for an error."""
        self.socket.sendall(struct.pack("<BBH", opcode, detail, 1 + len(body) // 4) + body)
        head = self.receive(32)
        if head[0] == 0:
            return None
        length, = struct.unpack_from("<I", head, 4)
        return head + self.receive(length * 4)

    def send(self, opcode, detail, body):
        """Sends a request that has no reply; a following round trip shows
        any error it caused."""
        self.socket.sendall(struct.pack("<BBH", opcode, detail, 1 + len(body) // 4) + body)

    def atom(self, name):
        encoded = name.encode("ascii")
        padded = encoded + b"\0" * (-len(encoded) % 4)
        reply = self.request(16, 0, struct.pack("<Hxx", len(encoded)) + padded)
        return struct.unpack_from("<I", reply, 8)[0]

    def children(self, window):
        reply = self.request(15, 0, struct.pack("<I", window))
        if reply is None:
            return []
        count, = struct.unpack_from("<H", reply, 16)
        return list(struct.unpack_from("<%dI" % count, reply, 32))

    def property_words(self, window, name):
        reply = self.request(20, 0, struct.pack("<IIIII", window, self.atom(name), 0, 0, 256))
        if reply is None or reply[1] != 32:
            return []
        count, = struct.unpack_from("<I", reply, 16)
        return list(struct.unpack_from("<%dI" % count, reply, 32))

    def viewable(self, window):
        reply = self.request(3, 0, struct.pack("<I", window))
        return reply is not None and reply[26] == MAP_STATE_VIEWABLE

    def ask_to_close(self, window):
        protocols, delete = self.atom("WM_PROTOCOLS"), self.atom("WM_DELETE_WINDOW")
        event = struct.pack("<BBHII5I", CLIENT_MESSAGE, 32, 0, window, protocols, delete, 0, 0, 0,
                            0)
        self.send(25, 0, struct.pack("<II", window, 0) + event)


def main():
    if len(sys.argv) not in (2, 3) or sys.argv[2:] not in ([], ["--pids"]):
        sys.stderr.write("usage: close_window.py DISPLAY [--pids]\n")
        return 2
    display = int(sys.argv[1].lstrip(":").split(".")[0])
    only_list = sys.argv[2:] == ["--pids"]
    try:
        x = XConnection(display)
        delete = x.atom("WM_DELETE_WINDOW")
        closed = 0
        for window in x.children(x.root):
            if not x.viewable(window) or delete not in x.property_words(window, "WM_PROTOCOLS"):
                continue
            closed += 1
            if only_list:
                print(" ".join(map(str, x.property_words(window, "_NET_WM_PID"))))
            else:
                x.ask_to_close(window)
        x.atom("WM_PROTOCOLS")  # a round trip: the messages have been taken
    except (OSError, ConnectionError) as error:
        sys.stderr.write("close_window.py: %s\n" % error)
        return 2
    return 0 if closed else 1


if __name__ == "__main__":
    sys.exit(main())
