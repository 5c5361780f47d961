#!/usr/bin/env python3
"""Scans the stage through the panel: connects to the panel's script socket, connects the
panel to its controller if it is not yet, homes, then steps through COUNT positions from
START, waiting at each until the stage is at rest, and prints the position reached and the
time as CSV. Start the panel with --listen (or Connection > Allow scripts) first. While a
window of the panel holds its operator (a message, a file dialog, About), the panel acts on
no request; the scan then waits and asks again.

Standard library only.
"""

import argparse
import os
import socket
import sys
import time


# How long to wait before asking again while a window of the panel holds its operator.
DIALOG_RETRY_SECONDS = 0.5


def default_socket_path():
    # Where the panel listens by default: the session's runtime directory, or a directory
    # of the user's own in the temporary directory.
    runtime = os.environ.get("XDG_RUNTIME_DIR")
    if runtime:
        return os.path.join(runtime, "lumarvethon.sock")
    temporary = os.environ.get("TMPDIR") or "/tmp"
    return os.path.join(temporary, "lumarvethon-%d" % os.getuid(), "lumarvethon.sock")


class Panel:
    """One request line out, one reply line back."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.replies = self.sock.makefile("r", encoding="utf-8", newline="\n")

    def ask(self, request):
        told = False
        while True:
            reply = self.ask_once(request)
            if reply != "error dialog open":
                break
            # The operator has a window of the panel open (a message, a file dialog): the
            # panel acts on no request until it is closed.
            if not told:
                print("scan: waiting for a window of the panel to be closed", file=sys.stderr)
                told = True
            time.sleep(DIALOG_RETRY_SECONDS)
        if reply != "ok" and not reply.startswith("ok "):
            sys.exit("scan: %s: %s" % (request, reply))
        return reply[3:]

    def ask_once(self, request):
        self.sock.sendall((request + "\n").encode("utf-8"))
        reply = self.replies.readline()
        if not reply:
            sys.exit("scan: the panel closed the connection")
        return reply.rstrip("\n")


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
