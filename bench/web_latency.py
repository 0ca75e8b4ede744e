#!/usr/bin/python3
"""The live page's update latency: from another client's change of the instrument to the event that
shows it arriving on every open page.

    bench/web_latency.py BASE_URL DEVICE RESOURCE [--clients 1] [--changes 20] [--label TEXT]

CLIENTS event streams (/devices/DEVICE/events, as the live page opens them) read on threads of
their own. A pyvisa-py session on RESOURCE (through the gateway's VXI-11 door) sets a new voltage
CHANGES times, each after a random pause of 0 to 3 s so that the changes fall anywhere in the
poll's pace (a write refused because a poll holds the lock is sent again); the latency of a change
on a stream runs from the end of the write to the arrival of the first event whose programmed
voltage is the new one. Prints one summary line.
"""

import argparse
import http.client
import json
import random
import statistics
import sys
import threading
import time
import urllib.parse

WAIT_S = 15.0  # the longest wait for one change to reach every stream


class Stream(threading.Thread):
    """One page's event stream: the arrival time of each programmed voltage it was told."""

    def __init__(self, url):
        super().__init__(daemon=True)
        self.url = urllib.parse.urlsplit(url)
        self.seen = {}  # voltage text -> first arrival (time.monotonic)
        self.changed = threading.Condition()

    def run(self):
        connection = http.client.HTTPConnection(self.url.hostname, self.url.port, timeout=60)
        connection.request("GET", self.url.path)
        reply = connection.getresponse()
        assert reply.status == 200, reply.status
        for line in reply:
            if not line.startswith(b"data: "):
                continue
            arrived = time.monotonic()
            voltage = json.loads(line[6:]).get("settings", {}).get("voltage", {}).get("value")
            with self.changed:
                self.seen.setdefault(voltage, arrived)
                self.changed.notify_all()

    def arrival(self, voltage, deadline):
        with self.changed:
            while voltage not in self.seen:
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.changed.wait(left)
            return self.seen[voltage]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("base")
    parser.add_argument("device")
    parser.add_argument("resource")
    parser.add_argument("--clients", type=int, default=1)
    parser.add_argument("--changes", type=int, default=20)
    parser.add_argument("--label", default="")
    args = parser.parse_args()
    import pyvisa

    streams = [Stream(f"{args.base}/devices/{args.device}/events") for _ in range(args.clients)]
    for s in streams:
        s.start()
    instrument = pyvisa.ResourceManager("@py").open_resource(args.resource, write_termination="", timeout=5000)
    latencies, spreads, lost, refused = [], [], 0, 0
    for n in range(args.changes):
        time.sleep(random.uniform(0.0, 3.0))
        volts = 100 + n % 50 + random.randint(1, 9) / 10
        for _ in range(100):  # pyvisa-py does not wait for the lock a poll holds: ask again
            try:
                instrument.write(f"VOLT {volts:.1f}")
                break
            except pyvisa.errors.VisaIOError:
                refused += 1
                time.sleep(0.02)
        written = time.monotonic()
        arrivals = [s.arrival(f"{volts:.1f}", written + WAIT_S) for s in streams]
        lost += arrivals.count(None)
        got = [a - written for a in arrivals if a is not None]
        latencies += got
        if got:
            spreads.append(max(got) - min(got))
    instrument.close()
    if not latencies:
        print(f"{args.label}: no change arrived")
        return 1
    p95 = sorted(latencies)[int(0.95 * (len(latencies) - 1))]
    ms = lambda seconds: f"{seconds * 1000:.0f} ms"  # noqa: E731
    print(f"{args.label}: {args.clients} stream(s), {args.changes} changes: latency mean {ms(statistics.mean(latencies))}, "
          f"p50 {ms(statistics.median(latencies))}, p95 {ms(p95)}, max {ms(max(latencies))}; first-to-last stream "
          f"{max(spreads) * 1000:.1f} ms at most; {lost} missed; {refused} writes refused (locked)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
