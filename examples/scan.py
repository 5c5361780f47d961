#!/usr/bin/env python3
"""Scans the stage through the panel: connects to the panel's script socket, connects the
panel to its controller if it is not yet, homes, then steps through COUNT positions from
START, waiting at each until the stage is at rest, and prints the position reached and the
time as CSV. Start the panel with --listen (or Connection > Allow scripts) first.

Standard library only.
"""

import argparse
import os
import socket
import sys
import time


def default_socket_path():
    # Where the panel listens by default.
    runtime = os.environ.get("XDG_RUNTIME_DIR")
    directory = runtime if runtime else (os.environ.get("TMPDIR") or "/tmp")
    return os.path.join(directory, "lumarvethon.sock")


class Panel:
    """One request line out, one reply line back."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.replies = self.sock.makefile("r", encoding="utf-8", newline="\n")

    def ask(self, request):
        self.sock.sendall((request + "\n").encode("utf-8"))
        reply = self.replies.readline()
        if not reply:
            sys.exit("scan: the panel closed the connection")
        reply = reply.rstrip("\n")
        if reply != "ok" and not reply.startswith("ok "):
            sys.exit("scan: %s: %s" % (request, reply))
        return reply[3:]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--socket", default=default_socket_path(),
                        help="the panel's script socket (default: %(default)s)")
    parser.add_argument("--start", type=float, default=0.0,
                        help="first position in micrometres (default: %(default)s)")
    parser.add_argument("--step", type=float, default=100.0,
                        help="distance between positions in micrometres (default: %(default)s)")
    parser.add_argument("--count", type=int, default=10,
                        help="number of positions (default: %(default)s)")
    parser.add_argument("--wait-timeout", type=float, default=30.0,
                        help="seconds to wait for the stage to come to rest (default: %(default)s)")
    args = parser.parse_args()

    try:
        panel = Panel(args.socket)
    except OSError as error:
        sys.exit("scan: cannot reach the panel at %s: %s (is it running with --listen?)"
                 % (args.socket, error.strerror or error))

    state = dict(item.split("=", 1) for item in panel.ask("state").split())
    if state["connected"] != "1":
        panel.ask("connect")
    wait = "wait %g" % args.wait_timeout
    panel.ask("home")
    panel.ask(wait)

    print("point,target_um,position_um,time_s")
    began = time.monotonic()
    for point in range(args.count):
        target = args.start + point * args.step
        if point == 0:
            panel.ask("move %r" % target)
        else:
            panel.ask("step %r" % args.step)
        position = panel.ask(wait)
        print("%d,%g,%s,%.3f" % (point, target, position, time.monotonic() - began), flush=True)


if __name__ == "__main__":
    main()
