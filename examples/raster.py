#!/usr/bin/env python3
"""Scans an XY raster with two stages, one panel each: the panels started with --name x and
--name y (and --listen, or Connection > Allow scripts). Connects each panel to its controller
if it is not yet, homes both, then visits NX x NY points row by row, moving both stages and
waiting on both until they are at rest at each, and prints x_um,y_um,time_s as CSV.

Standard library only.
"""

import argparse
import os
import socket
import sys
import time


def default_socket_path(name):
    # Where a panel started with --name NAME listens by default.
    # The session's runtime directory, or a directory of the user's own in the temporary one.
    runtime = os.environ.get("XDG_RUNTIME_DIR")
    if runtime:
        directory = runtime
    else:
        temporary = os.environ.get("TMPDIR") or "/tmp"
        directory = os.path.join(temporary, "lumarvethon-%d" % os.getuid())
    return os.path.join(directory, "lumarvethon-%s.sock" % name)


class Panel:
    """One panel's script socket: a request line out, one reply line back."""

    def __init__(self, axis, path):
        self.axis = axis
        try:
            self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            self.sock.connect(path)
        except OSError as error:
            sys.exit("raster: cannot reach the %s panel at %s: %s (is it running with "
                     "--name %s --listen?)" % (axis, path, error.strerror or error, axis))
        self.replies = self.sock.makefile("r", encoding="utf-8", newline="\n")

    def send(self, request):
        self.sock.sendall((request + "\n").encode("utf-8"))

    def reply(self, request):
        told = False
        while True:
            line = self.replies.readline()
            if not line:
                sys.exit("raster: the %s panel closed the connection" % self.axis)
            line = line.rstrip("\n")
            if line != "error dialog open":
                break
            # The operator has a window of that panel open: ask again once it is closed.
            if not told:
                print("raster: waiting for a window of the %s panel to be closed" % self.axis,
                      file=sys.stderr)
                told = True
            time.sleep(0.5)
            self.send(request)
        if line != "ok" and not line.startswith("ok "):
            sys.exit("raster: %s panel: %s: %s" % (self.axis, request, line))
        return line[3:]

    def ask(self, request):
        self.send(request)
        return self.reply(request)


def on_all(panels, request):
    """Sends the request to every panel first, so that they work at the same time, then
    collects the replies in the same order."""
    for panel in panels:
        panel.send(request)
    return [panel.reply(request) for panel in panels]


def axis_positions(start, step, count):
    return [start + i * step for i in range(count)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--x-socket", default=default_socket_path("x"),
                        help="the x panel's script socket (default: %(default)s)")
    parser.add_argument("--y-socket", default=default_socket_path("y"),
                        help="the y panel's script socket (default: %(default)s)")
    parser.add_argument("--x-start", type=float, default=0.0,
                        help="first x position in micrometres (default: %(default)s)")
    parser.add_argument("--y-start", type=float, default=0.0,
                        help="first y position in micrometres (default: %(default)s)")
    parser.add_argument("--x-step", type=float, default=100.0,
                        help="x distance between points in micrometres (default: %(default)s)")
    parser.add_argument("--y-step", type=float, default=100.0,
                        help="y distance between rows in micrometres (default: %(default)s)")
    parser.add_argument("--nx", type=int, default=3,
                        help="points in a row, N (default: %(default)s)")
    parser.add_argument("--ny", type=int, default=3,
                        help="rows, M (default: %(default)s)")
    parser.add_argument("--wait-timeout", type=float, default=30.0,
                        help="seconds to wait for a stage to come to rest (default: %(default)s)")
    args = parser.parse_args()
    if args.nx < 1 or args.ny < 1:
        parser.error("--nx and --ny must be at least 1")

    x = Panel("x", args.x_socket)
    y = Panel("y", args.y_socket)
    both = [x, y]
    for panel in both:
        state = dict(item.split("=", 1) for item in panel.ask("state").split())
        if state["connected"] != "1":
            panel.ask("connect")
    wait = "wait %g" % args.wait_timeout
    on_all(both, "home")
    on_all(both, wait)

    print("x_um,y_um,time_s")
    began = time.monotonic()
    for y_target in axis_positions(args.y_start, args.y_step, args.ny):
        for x_target in axis_positions(args.x_start, args.x_step, args.nx):
            x.send("move %r" % x_target)
            y.send("move %r" % y_target)
            x.reply("move %r" % x_target)
            y.reply("move %r" % y_target)
            x_um, y_um = on_all(both, wait)
            print("%s,%s,%.3f" % (x_um, y_um, time.monotonic() - began), flush=True)


if __name__ == "__main__":
    main()
