#!/usr/bin/env python3
"""A timed poll against a simulator with faults: vpihost's summary must add
up to what the simulator's trace shows on the wire.

usage: poll_summary_vs_trace.py VPIHOST RTUSIM GATES SECONDS

vpihost polls GATES for SECONDS (--duration) against rtusim with
--emulate-timing (9600 baud, strict framing) and --trace, under a fault
script followed by seeded random faults. Every request the station receives
is one RX line in the trace, followed by a "fault ACTION" line when the
answer was not the correct one.

What is comparable: one vpihost transfer is one or more request frames,
because the driver retries. The read retry scheme is 3 counted attempts
(no answer, bad CRC, exception reply each use one up) plus up to 9 further
attempts after answers from the wrong station, which use up none; it stops
at the first correct answer. So the trace's requests, in order, with their
faults, fall into transfers by that scheme alone: this script replays it over
the trace and predicts each transfer's frames and its result (0 done; 2 when
the last attempt went unanswered or got exception 4, which the driver counts
as a transport failure; 1 after a bad CRC, another exception or wrong
answers). The frames of one predicted transfer must be one request repeated,
the same request each time for the same gate, and the transfers must come in
the gates' order, cycle after cycle. Per gate, the predicted transfers,
successes, retries, and failures by result code and by cause (the fault of
the transfer's last attempt: no reply, bad CRC, wrong station, exception N
with its name) must equal vpihost's summary, and the run's totals its first
summary line. The station table below it, counted
from the driver's journal lines, must show each fault as the trace has it:
one wrong frame per answer from the wrong station, one CRC error per bad
CRC, the exceptions by code, and as silent the failed transfers that heard
nothing at all.

Only faults whose effect on the driver is certain are used: silent, bad-crc,
exception and wrong-slave (not delays, splits or garbage, whose effect depends
on timing). The trace must show no dropped bytes: every request was counted.
"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

VPIHOST, RTUSIM, GATES, SECONDS = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
TIMEOUT = 25  # vpihost --timeout, units of 10 ms: room for a loaded machine
SCRIPT = "silent*3,bad-crc,wrong-slave*2,exception:2*3,silent*2,wrong-slave*9,correct*20,silent*3"
RANDOM = "silent=0.03,bad-crc=0.03,exception:4=0.02,wrong-slave=0.03"

ROW = re.compile(r"^\s*(\d+)\s+(\S+)\s+(\S+)\s+(\d+)\s+(\d+)\s+(\d+)\s+(\d+)\s+[\d.]+\s+[\d.]+\s+[\d.]+\s*(.*)$")
STATION = re.compile(r"^\s*(\d+)" + r"\s+(\d+)" * 10 + r"\s+\S+" * 3 + r"\s+(answering|no reply|demoted|-)\s*(.*)$")
STATION_COUNTS = ("transfers", "ok", "retries", "silent", "wrong", "crc", "collisions", "no echo", "demoted",
                  "skipped")
RUN = re.compile(r"^summary: (\d+) cycles?.* in [\d.]+ s, (\d+) transfers .*, (\d+) failed .*, (\d+) retries$")
# What vpihost names as the cause of a transfer whose last attempt met the fault.
CAUSES = {"silent": "no reply", "bad-crc": "bad CRC", "wrong-slave": "wrong station",
          "exception:2": "exception 2 (illegal data address)", "exception:4": "exception 4 (server device failure)"}


def read_trace(path):
    """The requests to served stations: [frame hex, fault action]."""
    requests, dropped = [], []
    with open(path) as trace:
        for line in trace:
            parts = line.split(None, 2)
            if len(parts) < 3:
                continue
            if parts[1] == "RX":
                requests.append([parts[2].split("|")[0].strip(), "correct"])
            elif parts[1] == "fault":
                requests[-1][1] = parts[2].strip()
            elif parts[1] == "dropped":
                dropped.append(line.strip())
    return requests, dropped


def replay(requests):
    """Splits the requests into transfers by the read retry scheme:
    [(frames, result, fault actions)]."""
    transfers, i = [], 0
    while i < len(requests):
        s_retry, wrong_left, previous, frames, actions = 3, 9, None, [], []
        while i < len(requests):
            if previous == 3:
                if wrong_left == 0:
                    break
                wrong_left -= 1
            else:
                s_retry -= 1
            frame, action = requests[i]
            frames.append(frame)
            actions.append(action)
            i += 1
            kind = action.split(":")[0]
            previous = {"correct": 0, "silent": 2, "bad-crc": 1, "exception": 1, "wrong-slave": 3}[kind]
            if action == "exception:4":
                previous = 2  # the driver takes code 4 (device failure) as a transport failure
            if previous == 0 or s_retry == 0:
                break
        # A transfer that ends on a wrong answer is reported as refused (1).
        transfers.append((frames, 1 if previous == 3 else previous, actions))
    return transfers


def read_summary(text):
    lines = text.splitlines()
    start = max(i for i, line in enumerate(lines) if line.startswith("summary: "))
    run = RUN.match(lines[start])
    gates = {}
    for line in lines[start + 2:]:
        m = ROW.match(line)
        if not m:
            break
        failures, causes = {}, {}
        # "2 transport or port failure x3: no reply x2, bad CRC x1; 1 ..."
        for item in filter(None, m.group(8).split("; ")):
            head, _, why = item.partition(": ")
            code, count = re.match(r"^(\d+) .* x(\d+)$", head).groups()
            failures[int(code)] = int(count)
            for cause in filter(None, why.split(", ")):
                text, times = re.match(r"^(.*) x(\d+)$", cause).groups()
                causes[(int(code), text)] = int(times)
        gates[m.group(2)] = {"transfers": int(m.group(4)), "ok": int(m.group(5)), "failed": int(m.group(6)),
                             "retries": int(m.group(7)), "failures": failures, "causes": causes}
    stations = {}
    header = [i for i, line in enumerate(lines) if i > start and line.startswith("station  transfers ")]
    for line in lines[header[0] + 1:] if header else []:
        m = STATION.match(line)
        if not m:
            break
        exceptions = {}
        for item in m.group(13).split():
            code, count = item.split(":")
            exceptions[int(code)] = int(count)
        stations[int(m.group(1))] = dict(zip(STATION_COUNTS, (int(m.group(n)) for n in range(2, 12))),
                                         exceptions=exceptions)
    return ((int(run.group(1)), int(run.group(2)), int(run.group(3)), int(run.group(4))), gates, stations,
            "\n".join(lines[start:]))


def station_from_trace(transfers):
    """The station table's row as the trace's faults make it."""
    actions = [action for _, _, acts in transfers for action in acts]
    expected = dict.fromkeys(STATION_COUNTS, 0)
    expected.update(transfers=len(transfers), ok=sum(1 for _, r, _ in transfers if r == 0),
                    retries=sum(len(frames) - 1 for frames, _, _ in transfers),
                    silent=sum(1 for _, r, acts in transfers if r and set(acts) == {"silent"}),
                    wrong=actions.count("wrong-slave"), crc=actions.count("bad-crc"), exceptions={})
    for action in actions:
        if action.startswith("exception:"):
            code = int(action.split(":")[1])
            expected["exceptions"][code] = expected["exceptions"].get(code, 0) + 1
    return expected


def transfer_gates(path):
    """The gates that make a transfer each cycle, in order."""
    gates = []
    with open(path) as f:
        for line in f:
            fields = line.split("#")[0].split()
            if fields and fields[1] not in ("text", "trigger"):
                gates.append(fields[0])
    return gates


def main():
    problems = []
    with tempfile.TemporaryDirectory() as work:
        trace_path = os.path.join(work, "trace.txt")
        with open(trace_path, "w") as trace:
            sim = subprocess.Popen([RTUSIM, "--link", os.path.join(work, "com1"), "--emulate-timing", "--trace",
                                    "--faults", SCRIPT, "--random-faults", RANDOM, "--seed", "18"],
                                   stdout=trace, stderr=subprocess.STDOUT)
            try:
                for _ in range(200):
                    if os.path.islink(os.path.join(work, "com1")):
                        break
                    time.sleep(0.05)
                host = subprocess.run([VPIHOST, "--port", "COM1", "--gates", GATES, "--timeout", str(TIMEOUT),
                                       "--duration", str(SECONDS), "--interval", "100"],
                                      env=dict(os.environ, VPI_COM_DIR=work), capture_output=True, text=True,
                                      timeout=SECONDS + 120)
            finally:
                sim.send_signal(signal.SIGTERM)
                sim.wait(timeout=10)
        requests, dropped = read_trace(trace_path)
    if host.returncode not in (0, 1):
        print(host.stdout, host.stderr)
        print(f"FAIL: vpihost exit status {host.returncode}")
        return 1
    (cycles, total, failed, retries), summary, stations, summary_text = read_summary(host.stdout)
    print(summary_text)

    if dropped:
        problems.append(f"the simulator dropped bytes: {dropped}")
    gates = transfer_gates(GATES)
    transfers = replay(requests)
    expected = {g: {"transfers": 0, "ok": 0, "failed": 0, "retries": 0, "failures": {}, "causes": {}} for g in gates}
    frame_of = {}
    for n, (frames, result, actions) in enumerate(transfers):
        gate = gates[n % len(gates)]
        if len(set(frames)) != 1:
            problems.append(f"transfer {n + 1} ({gate}) is not one request repeated: {frames}")
        if frame_of.setdefault(gate, frames[0]) != frames[0]:
            problems.append(f"transfer {n + 1}: gate {gate} sent {frames[0]}, before {frame_of[gate]}")
        e = expected[gate]
        e["transfers"] += 1
        e["retries"] += len(frames) - 1
        if result == 0:
            e["ok"] += 1
        else:
            e["failed"] += 1
            e["failures"][result] = e["failures"].get(result, 0) + 1
            cause = (result, CAUSES[actions[-1]])
            e["causes"][cause] = e["causes"].get(cause, 0) + 1
            print(f"failed transfer {n + 1}: gate {gate}, cycle {n // len(gates) + 1}, result {result}: "
                  f"{', '.join(actions)}")
    retried = sum(1 for frames, _, _ in transfers if len(frames) > 1)
    faults = sum(1 for _, action in requests if action != "correct")
    print(f"trace: {len(requests)} requests, {faults} with faults, {len(transfers)} transfers by the retry "
          f"scheme ({retried} retried, {sum(1 for _, r, _ in transfers if r)} failed)")

    for gate in gates:
        if summary.get(gate) != expected[gate]:
            problems.append(f"gate {gate}: summary {summary.get(gate)}, trace {expected[gate]}")
    if total != len(transfers) or failed != sum(e["failed"] for e in expected.values()) or \
            retries != sum(e["retries"] for e in expected.values()):
        problems.append(f"run: summary {total} transfers, {failed} failed, {retries} retries; "
                        f"trace {len(transfers)} transfers")
    # Every gate is station 1's.
    if stations != {1: station_from_trace(transfers)}:
        problems.append(f"stations: summary {stations}, trace {{1: {station_from_trace(transfers)}}}")
    if cycles < len(transfers) // len(gates):
        problems.append(f"summary counts {cycles} cycles for {len(transfers)} transfers")
    if faults == 0 or not any(r == 1 for _, r, _ in transfers) or not any(r == 2 for _, r, _ in transfers):
        problems.append("the run saw too few faults to compare")
    for p in problems:
        print("FAIL:", p)
    if not problems:
        print(f"poll summary vs trace: {len(transfers)} transfers of {len(gates)} gates agree")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
