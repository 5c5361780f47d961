#!/usr/bin/env python3
"""The device server's cost: with a simulated stage, a headless panel and lumarvethon-tango
already running (tools/bench-tango starts them), measures the CPU time of the panel and of the
server first with no client, then with CLIENTS processes reading Position at RATE Hz each, and
prints both as a share of one core.
"""

import argparse
import multiprocessing
import os
import sys
import time

import tango


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def client(device, rate, seconds, reads):
    proxy = tango.DeviceProxy(device)
    period = 1.0 / rate
    end = time.monotonic() + seconds
    next_read = time.monotonic()
    count = 0
    while time.monotonic() < end:
        proxy.read_attribute("Position")
        count += 1
        next_read += period
        time.sleep(max(0.0, next_read - time.monotonic()))
    reads.put(count)


def measure(pids, seconds):
    before = {name: cpu_seconds(pid) for name, pid in pids.items()}
    began = time.monotonic()
    time.sleep(seconds)
    wall = time.monotonic() - began
    return {name: 100.0 * (cpu_seconds(pid) - before[name]) / wall for name, pid in pids.items()}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--device", required=True)
    parser.add_argument("--panel-pid", type=int, required=True)
    parser.add_argument("--server-pid", type=int, required=True)
    parser.add_argument("--clients", type=int, default=10)
    parser.add_argument("--rate", type=float, default=10.0)
    parser.add_argument("--seconds", type=float, default=30.0)
    args = parser.parse_args()

    pids = {"panel": args.panel_pid, "server": args.server_pid}
    idle = measure(pids, args.seconds)

    reads = multiprocessing.Queue()
    workers = [multiprocessing.Process(target=client,
                                       args=(args.device, args.rate, args.seconds + 4, reads))
               for _ in range(args.clients)]
    for worker in workers:
        worker.start()
    time.sleep(2)  # the clients connected and reading
    loaded = measure(pids, args.seconds)
    for worker in workers:
        worker.join()
    total = sum(reads.get() for _ in workers)

    print("%-44s %8s %8s" % ("", "panel", "server"))
    print("%-44s %7.2f%% %7.2f%%" % ("no client (the server's 10 Hz state refresh)",
                                     idle["panel"], idle["server"]))
    label = "%d clients reading Position at %g Hz" % (args.clients, args.rate)
    print("%-44s %7.2f%% %7.2f%%" % (label, loaded["panel"], loaded["server"]))
    print("(CPU time over %g s as a share of one core; %d reads in all, %.1f per second)"
          % (args.seconds, total, total / (args.seconds + 4)))
    if total == 0:
        sys.exit("tango_load: no read succeeded")


if __name__ == "__main__":
    main()
