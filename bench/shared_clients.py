#!/usr/bin/python3
"""Many unlocked pyvisa-py clients sharing one instrument.

    bench/shared_clients.py RESOURCE [--clients 8] [--seconds 20] [--timeout-ms 2000] [--label TEXT]

Each client is a process of its own (so the GIL does not serialize them) with its own session and
no lock, and asks its own query over and over; the queries' answers all differ, so an answer that
reached the wrong client shows. A client that fails (time-out, lost link) reopens and goes on.
Prints one summary line; everything ends by SECONDS + 30 s.
"""

import argparse
import multiprocessing as mp
import os
import queue
import signal
import sys
import time

# Queries that change nothing and whose answers differ from each other on qxsim's defaults; the
# answers themselves are learnt from the instrument before the clients start.
QUERIES = [
    "*IDN?",
    "LIM:VOLT?",
    "LIM:CURR?",
    "LIM:FREQ:LOW?",
    "LIM:FREQ:HIGH?",
    "SYST:VERS?",
    "SYST:SNUM?",
    "OUTP:STAR:PHAS? MAX",
]

GRACE_S = 30.0


def open_session(rm, resource, timeout_ms):
    # The answer keeps its line feed: comparing it whole also catches a cut or joined answer.
    return rm.open_resource(resource, write_termination="", read_termination=None, timeout=timeout_ms)


def error_kind(exc):
    code = getattr(exc, "error_code", None)
    if code is not None:
        try:
            import pyvisa.constants as constants

            return constants.StatusCode(code).name
        except ValueError:
            return f"visa {code}"
    return type(exc).__name__


def is_timeout(kind):
    return kind in ("error_timeout", "timeout", "TimeoutError", "socket.timeout")


def learn_answers(resource, timeout_ms, count, out):
    """Asks each query once, alone, and hands back the answers (in a process of its own, so the
    clients start from a fresh interpreter)."""
    import pyvisa

    rm = pyvisa.ResourceManager("@py")
    try:
        inst = open_session(rm, resource, timeout_ms)
        answers = [inst.query(q) for q in QUERIES[:count]]
        inst.close()
        out.put(("ok", answers))
    except Exception as exc:  # reported by the parent
        out.put(("error", f"{error_kind(exc)}: {exc}"))
    finally:
        rm.close()


def client(index, resource, query, expected, others, timeout_ms, start_at, stop_at, out):
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    import pyvisa

    correct = 0
    wrong_other = 0  # another client's answer
    wrong_garbled = 0  # no client's answer: cut, joined or stale bytes
    errors = {}
    latencies = []  # seconds, of every query that got an answer
    rm = pyvisa.ResourceManager("@py")
    inst = None

    def note(kind):
        errors[kind] = errors.get(kind, 0) + 1

    while time.time() < start_at:
        time.sleep(min(0.01, max(0.0, start_at - time.time())))
    clock = time.perf_counter
    while time.time() < stop_at:
        if inst is None:
            try:
                inst = open_session(rm, resource, timeout_ms)
            except Exception as exc:
                note("open " + error_kind(exc))
                time.sleep(0.05)
                continue
        t0 = clock()
        try:
            answer = inst.query(query)
        except Exception as exc:
            note(error_kind(exc))
            # The link may hold a late answer or be gone: start again on a fresh one.
            try:
                inst.close()
            except Exception:
                pass
            inst = None
            continue
        latencies.append(clock() - t0)
        if answer == expected:
            correct += 1
        elif answer in others:
            wrong_other += 1
        else:
            wrong_garbled += 1
    if inst is not None:
        try:
            inst.close()
        except Exception:
            pass
    try:
        rm.close()
    except Exception:
        pass
    out.put((index, correct, wrong_other, wrong_garbled, errors, latencies))


def percentile(sorted_values, p):
    if not sorted_values:
        return float("nan")
    k = min(len(sorted_values) - 1, max(0, round(p / 100.0 * (len(sorted_values) - 1))))
    return sorted_values[k]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("resource")
    parser.add_argument("--clients", type=int, default=8)
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--timeout-ms", type=int, default=2000)
    parser.add_argument("--label", default="", help="names the run in the summary line")
    parser.add_argument("--per-client", action="store_true", help="also print a line per client")
    args = parser.parse_args()
    if not 1 <= args.clients <= len(QUERIES):
        parser.error(f"--clients must be 1..{len(QUERIES)}: each client needs a query of its own")

    label = args.label or args.resource
    hard_stop = time.time() + args.seconds + GRACE_S
    # Last resort: nothing outlives the hard stop, whatever hangs.
    signal.signal(signal.SIGALRM, lambda *_: os._exit(3))
    signal.alarm(int(args.seconds + GRACE_S) + 5)

    ctx = mp.get_context("spawn")
    results = ctx.Queue()

    prime = ctx.Process(target=learn_answers, args=(args.resource, args.timeout_ms, args.clients, results))
    prime.start()
    try:
        status, answers = results.get(timeout=15)
    except queue.Empty:
        status, answers = "error", "no answer in 15 s"
    prime.join(1)
    if prime.is_alive():
        prime.kill()
    if status != "ok":
        print(f"{label}: cannot learn the answers: {answers}", file=sys.stderr)
        return 2
    if len(set(answers)) != len(answers):
        print(f"{label}: the queries' answers are not all different: {answers!r}", file=sys.stderr)
        return 2

    # Processes start slowly (spawn imports pyvisa): all begin together once every one is up.
    start_at = time.time() + 2.0 + 0.25 * args.clients
    stop_at = start_at + args.seconds
    procs = []
    for i in range(args.clients):
        others = set(answers) - {answers[i]}
        p = ctx.Process(
            target=client,
            args=(i, args.resource, QUERIES[i], answers[i], others, args.timeout_ms, start_at, stop_at, results),
        )
        p.start()
        procs.append(p)

    got = []
    while len(got) < len(procs):
        left = hard_stop - time.time()
        if left <= 0:
            break
        try:
            got.append(results.get(timeout=min(left, 1.0)))
        except queue.Empty:
            if not any(p.is_alive() for p in procs) and results.empty():
                break
    for p in procs:
        p.join(max(0.0, min(2.0, hard_stop - time.time())))
        if p.is_alive():
            p.kill()
            p.join(1)
    lost = len(procs) - len(got)

    correct = sum(r[1] for r in got)
    wrong_other = sum(r[2] for r in got)
    wrong_garbled = sum(r[3] for r in got)
    errors = {}
    for r in got:
        for kind, n in r[4].items():
            errors[kind] = errors.get(kind, 0) + n
    timeouts = sum(n for kind, n in errors.items() if is_timeout(kind))
    others = {kind: n for kind, n in errors.items() if not is_timeout(kind)}
    latencies = sorted(x for r in got for x in r[5])
    other_text = ", ".join(f"{k} {v}" for k, v in sorted(others.items(), key=lambda kv: -kv[1]))
    line = (
        f"{label}: {len(procs)} clients {args.seconds:g} s: {correct / args.seconds:.1f} correct q/s, "
        f"wrong {wrong_other + wrong_garbled} (others' {wrong_other}, garbled {wrong_garbled}), "
        f"time-outs {timeouts}, other errors {sum(others.values())}"
        + (f" ({other_text})" if other_text else "")
        + f", p50 {1e3 * percentile(latencies, 50):.2f} ms, p99 {1e3 * percentile(latencies, 99):.2f} ms"
        + (f", clients lost {lost}" if lost else "")
    )
    print(line, flush=True)
    if args.per_client:
        for r in sorted(got):
            lat = sorted(r[5])
            print(
                f"  client {r[0]} {QUERIES[r[0]]!r}: correct {r[1]}, others' {r[2]}, garbled {r[3]}, "
                f"errors {r[4] or 0}, p50 {1e3 * percentile(lat, 50):.2f} ms, p99 {1e3 * percentile(lat, 99):.2f} ms",
                flush=True,
            )
    return 1 if lost else 0


if __name__ == "__main__":
    sys.exit(main())
