#!/usr/bin/env python3
"""Scans the stage through its Tango device: subscribes to the Position change events,
connects the panel to its controller if it is not yet, homes, then moves through COUNT
positions from START, waiting at each until the device is ON again, and prints the position
reached, the time and the number of Position events seen on the way as CSV. Start a panel
with --listen and lumarvethon-tango first.

Needs PyTango (Debian package python3-tango).
"""

import argparse
import sys
import threading
import time

try:
    import tango
except ImportError:
    sys.exit("tango_scan: PyTango is missing (sudo apt install python3-tango)")


class Watch:
    """The newest State and Position from the device's change events."""

    def __init__(self):
        self.lock = threading.Condition()
        self.state = None
        self.position = None
        self.position_events = 0

    def on_position(self, event):
        if event.err or event.attr_value is None:
            return
        with self.lock:
            self.position = event.attr_value.value
            self.position_events += 1

    def on_state(self, event):
        if event.err or event.attr_value is None:
            return
        with self.lock:
            self.state = event.attr_value.value
            self.lock.notify_all()

    def forget_state(self):
        """Only a State event from now on counts: the one before may still say ON."""
        with self.lock:
            self.state = None

    def wait_for(self, state, timeout):
        with self.lock:
            if not self.lock.wait_for(lambda: self.state == state, timeout):
                sys.exit("tango_scan: the device is %s, not %s, after %g s"
                         % (self.state, state, timeout))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--device", default="tango://127.0.0.1:10000/test/stage/1#dbase=no",
                        help="the stage's Tango device (default: %(default)s)")
    parser.add_argument("--start", type=float, default=0.0,
                        help="first position in micrometres (default: %(default)s)")
    parser.add_argument("--step", type=float, default=100.0,
                        help="distance between positions in micrometres (default: %(default)s)")
    parser.add_argument("--count", type=int, default=10,
                        help="number of positions (default: %(default)s)")
    parser.add_argument("--timeout", type=float, default=30.0,
                        help="seconds to wait for the stage at each point (default: %(default)s)")
    args = parser.parse_args()

    try:
        device = tango.DeviceProxy(args.device)
        device.ping()
    except tango.DevFailed as error:
        sys.exit("tango_scan: cannot reach %s: %s" % (args.device, error.args[0].desc))

    watch = Watch()
    subscriptions = [
        device.subscribe_event("Position", tango.EventType.CHANGE_EVENT, watch.on_position),
        device.subscribe_event("State", tango.EventType.CHANGE_EVENT, watch.on_state),
    ]
    try:
        if device.state() == tango.DevState.UNKNOWN:
            sys.exit("tango_scan: %s" % device.status())
        if device.state() == tango.DevState.OFF:
            device.Connect()
        watch.forget_state()
        device.Home()
        watch.wait_for(tango.DevState.ON, args.timeout)

        print("point,target_um,position_um,time_s,position_events")
        began = time.monotonic()
        for point in range(args.count):
            target = args.start + point * args.step
            before = watch.position_events
            # The device is MOVING before the write returns: ON again means at rest there.
            watch.forget_state()
            device.write_attribute("Position", target)
            watch.wait_for(tango.DevState.ON, args.timeout)
            position = device.read_attribute("Position").value
            print("%d,%g,%.1f,%.3f,%d" % (point, target, position, time.monotonic() - began,
                                          watch.position_events - before), flush=True)
    except tango.DevFailed as error:
        sys.exit("tango_scan: %s" % error.args[0].desc)
    finally:
        for subscription in subscriptions:
            device.unsubscribe_event(subscription)


if __name__ == "__main__":
    main()
