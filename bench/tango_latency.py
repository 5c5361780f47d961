#!/usr/bin/env python3
"""Latencies of lumarvethon-tango while a command waits for the panel.

Starts its own server (--server) on a free port whose socket is a relay in front of the panel's
(--socket): the relay holds every move request for --hold seconds, longer than the server's
time-out, so that a write of Position waits for the panel the whole time. Prints the read
latency of ten readers meanwhile, the round trip of a Stop sent during the wait, whether the
given-up move ever acted, the time from a frozen panel's last answer to UNKNOWN, and the event
counts of a short scan. The panel must be connected and homed (tools/bench-tango does that).
"""
import argparse, os, signal, socket, subprocess, tempfile, threading, time
import tango


class Relay(threading.Thread):
    def __init__(self, listen, panel, hold):
        super().__init__(daemon=True)
        self.panel, self.hold = panel, hold
        self.server = socket.socket(socket.AF_UNIX)
        self.server.bind(listen)
        self.server.listen(16)

    def run(self):
        while True:
            client, _ = self.server.accept()
            upstream = socket.socket(socket.AF_UNIX)
            upstream.connect(self.panel)
            for src, dst, requests in ((client, upstream, True), (upstream, client, False)):
                threading.Thread(target=self.pump, args=(src, dst, requests), daemon=True).start()

    def pump(self, src, dst, requests):
        def send(line):
            try:
                dst.sendall(line)
            except OSError:
                pass
        rest = b''
        while True:
            try:
                data = src.recv(4096)
            except OSError:
                data = b''
            if not data:
                threading.Timer(self.hold + 1, dst.close).start()
                return
            rest += data
            while b'\n' in rest:
                line, rest = rest.split(b'\n', 1)
                if requests and b' move ' in line:
                    threading.Timer(self.hold, send, (line + b'\n',)).start()
                else:
                    send(line + b'\n')


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(p / 100 * len(values)))]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument('--server', required=True)
    parser.add_argument('--socket', required=True)
    parser.add_argument('--panel-pid', type=int, required=True)
    parser.add_argument('--hold', type=float, default=2.5)
    args = parser.parse_args()
    work = tempfile.mkdtemp()
    relay_path = os.path.join(work, 'relay.sock')
    Relay(relay_path, args.socket, args.hold).start()
    probe = socket.socket()
    probe.bind(('127.0.0.1', 0))
    port = probe.getsockname()[1]
    probe.close()
    server = subprocess.Popen([args.server, 'latency', '-nodb', '-dlist', 'bench/latency/1',
                               '-ORBendPoint', f'giop:tcp:127.0.0.1:{port}'],
                              env=dict(os.environ, LUMARVETHON_SOCKET=relay_path),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    name = f'tango://127.0.0.1:{port}/bench/latency/1#dbase=no'
    try:
        device = tango.DeviceProxy(name)
        for _ in range(100):
            try:
                if device.state() == tango.DevState.ON:
                    break
            except tango.DevFailed:
                pass
            time.sleep(0.2)
        start = device.Position

        # Ten readers while a write waits; a Stop in the middle.
        result = {}
        def write():
            t = time.monotonic()
            try:
                tango.DeviceProxy(name).write_attribute('Position', start + 100)
                result['write'] = 'ok'
            except tango.DevFailed as e:
                result['write'] = e.args[0].reason
            result['write_s'] = time.monotonic() - t
        latencies, stop_flag = [], threading.Event()
        def read():
            proxy = tango.DeviceProxy(name)
            proxy.state()
            while not stop_flag.is_set():
                for call in (lambda: proxy.read_attribute('Position'), proxy.state, proxy.status):
                    t = time.monotonic()
                    call()
                    latencies.append(time.monotonic() - t)
        writer = threading.Thread(target=write)
        writer.start()
        time.sleep(0.2)
        readers = [threading.Thread(target=read) for _ in range(10)]
        for r in readers:
            r.start()
        time.sleep(0.5)
        t = time.monotonic()
        device.Stop()
        stop_s = time.monotonic() - t
        time.sleep(1.0)
        stop_flag.set()
        for r in readers:
            r.join()
        writer.join()
        time.sleep(args.hold)
        print(f'reads while a write waits: {len(latencies)} reads by 10 readers, '
              f'p50 {percentile(latencies, 50) * 1000:.1f} ms, '
              f'p99 {percentile(latencies, 99) * 1000:.1f} ms, max {max(latencies) * 1000:.1f} ms')
        print(f'Stop round trip while the write waits: {stop_s * 1000:.1f} ms')
        print(f'the write: {result["write"]} after {result["write_s"]:.2f} s; position moved by '
              f'{device.Position - start:.1f} um after the panel read it (0: never acted)')

        # Events of a short scan: five steps of 100 um, then five of 0.5 um.
        counts = {}
        def counter(key):
            class Count:
                last = None
                def push_event(self, event):
                    if event.err:
                        return
                    value = (event.attr_value.value, event.attr_value.quality)
                    counts.setdefault(key, [0, []])
                    counts[key][0] += 1
                    if value == Count.last:
                        counts[key][1].append(counts[key][0])
                    Count.last = value
            return Count()
        kinds = [('Position', tango.EventType.CHANGE_EVENT), ('Position', tango.EventType.ARCHIVE_EVENT),
                 ('State', tango.EventType.CHANGE_EVENT), ('State', tango.EventType.ARCHIVE_EVENT),
                 ('Homed', tango.EventType.CHANGE_EVENT)]
        ids = [device.subscribe_event(a, k, counter(f'{a} {k}')) for a, k in kinds]
        for step in [100] * 5 + [0.5] * 5:
            device.StepBy(step)
            while device.state() != tango.DevState.ON:
                time.sleep(0.02)
        time.sleep(0.3)
        for i in ids:
            device.unsubscribe_event(i)
        for key, (n, twice) in counts.items():
            print(f'events of {key} over 10 steps (5 x 100 um, 5 x 0.5 um): {n}, '
                  f'{len(twice)} the same as the one before (event number {twice})')

        # A frozen panel: the time from its last answer to UNKNOWN, while a write waits.
        unknown = threading.Event()
        class Watch:
            def push_event(self, event):
                if not event.err and event.attr_value.value == tango.DevState.UNKNOWN:
                    unknown.set()
        watch = device.subscribe_event('State', tango.EventType.CHANGE_EVENT, Watch())
        os.kill(args.panel_pid, signal.SIGSTOP)
        frozen = time.monotonic()
        threading.Thread(target=write, daemon=True).start()
        unknown.wait(10)
        print(f'UNKNOWN {time.monotonic() - frozen:.2f} s after the panel froze '
              f'(at most 0.1 s after its last answer)')
        os.kill(args.panel_pid, signal.SIGCONT)
        device.unsubscribe_event(watch)
        time.sleep(args.hold + 0.5)
        os.kill(args.panel_pid, signal.SIGSTOP)
        threading.Thread(target=write, daemon=True).start()
        time.sleep(0.5)
        t = time.monotonic()
        server.send_signal(signal.SIGTERM)
        server.wait(10)
        print(f'SIGTERM with the panel frozen: the server ended after {time.monotonic() - t:.2f} s')
        os.kill(args.panel_pid, signal.SIGCONT)
    finally:
        server.kill()


if __name__ == '__main__':
    main()
