#!/usr/bin/env python3
"""vpihost's CSV and JSON Lines output, read back with Python's csv and json
modules: every record parses, the fields have their types, floats come back
as the very float the device holds, texts keep every byte, and the polling
summary agrees with the records.

usage: vpihost_formats.py VPIHOST RTUSIM
"""
import csv
import io
import json
import os
import struct
import subprocess
import sys
import tempfile
import time

VPIHOST, RTUSIM = sys.argv[1], sys.argv[2]

# Bytes a report may hold that break naive CSV or JSON writers: quotes,
# commas, a tab, CR LF, a control character, DEL, a backslash and a byte
# that is not UTF-8 (degree sign in Latin-1). CTRL-Z would end the report.
REPORT = b'He said "hi", then\tleft\r\nline 2 \x01\x7f 25\xb0C \\end\r\n' + b"x" * 90
FLOAT_TEXT = "0.333333343"  # 1/3 as a float: needs 8 digits to come back
FLOAT = struct.unpack("<f", struct.pack("<f", float(FLOAT_TEXT)))[0]

GATES = """\
0140002      int16     4
01400105     digital
0170101      float
0180201      int32
!R01         trigger
R0101001     text
R0101002     text
"""
# gate number -> (type, expected value) for the read gates (the block starts
# at register 1: Modbus addresses count from 1)
EXPECTED = {1: ("int16", [1, 2, 3, 4]), 2: ("digital", 0), 3: ("float", FLOAT), 4: ("int32", 4294967295)}
TEXT_GATES = (6, 7)
GATE_COUNT = 7
HEADER = ["time", "cycle", "gate", "address", "type", "value", "result", "result_text", "cause", "retries"]

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def as_float32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def vpihost(work, *args):
    env = dict(os.environ, VPI_COM_DIR=work)
    run = subprocess.run([VPIHOST, "--port", "COM1", "--gates", os.path.join(work, "g.gates"), *args],
                         env=env, capture_output=True, timeout=60)
    check(run.returncode == 0, f"vpihost {' '.join(args)}: exit status {run.returncode}: {run.stderr!r}")
    return run.stdout, run.stderr.decode("latin-1")


def check_csv(stdout, cycles):
    # RFC 4180: CRLF ends a record; quoted fields may hold CR LF themselves.
    rows = list(csv.reader(io.StringIO(stdout.decode("latin-1"), newline="")))
    check(rows[0] == HEADER, f"csv header {rows[0]}")
    records = rows[1:]
    check(len(records) == cycles * GATE_COUNT, f"csv: {len(records)} records for {cycles} cycles")
    text = b""
    for row in records:
        check(len(row) == len(HEADER), f"csv row with {len(row)} fields: {row}")
        record = dict(zip(HEADER, row))
        gate = int(record["gate"])
        check(record["time"].endswith("Z") and "T" in record["time"], f"csv time {record['time']}")
        if gate in EXPECTED:
            kind, want = EXPECTED[gate]
            check(record["type"] == kind and record["result"] == "0" and record["result_text"] == "done",
                  f"csv gate {gate}: {row}")
            if isinstance(want, list):
                got = [int(v) for v in record["value"].split(",")]
            elif kind == "float":
                # Full precision: the text reads back as the device's float.
                got = as_float32(float(record["value"]))
            else:
                got = int(record["value"])
            check(got == want, f"csv gate {gate}: value {record['value']!r}, wanted {want!r}")
        elif gate in TEXT_GATES and record["cycle"] == "1":
            check(record["result"] == "", f"csv text gate with a result: {row}")
            text += record["value"].encode("latin-1")
    return text


def check_json(stdout, cycles, summary_expected):
    lines = stdout.decode("utf-8").splitlines()
    objects = [json.loads(line) for line in lines]  # every line one JSON document
    summary = [o for o in objects if "summary" in o]
    records = [o for o in objects if "summary" not in o]
    check(len(records) == cycles * GATE_COUNT, f"json: {len(records)} records for {cycles} cycles")
    text = ""
    for o in records:
        check(list(o.keys()) == HEADER, f"json keys {list(o.keys())}")
        gate = o["gate"]
        check(isinstance(o["cycle"], int) and 1 <= o["cycle"] <= cycles, f"json cycle {o['cycle']}")
        if gate in EXPECTED:
            kind, want = EXPECTED[gate]
            check(o["type"] == kind and o["result"] == 0 and o["result_text"] == "done", f"json gate {gate}: {o}")
            if kind == "float":
                check(isinstance(o["value"], float) and as_float32(o["value"]) == want,
                      f"json float {o['value']!r} does not read back as {want!r}")
                o["value"] = as_float32(o["value"])
            else:
                check(all(isinstance(v, int) for v in (o["value"] if isinstance(want, list) else [o["value"]])),
                      f"json gate {gate}: not whole numbers: {o['value']!r}")
            check(o["value"] == want, f"json gate {gate}: value {o['value']!r}, wanted {want!r}")
        elif gate in TEXT_GATES:
            check(isinstance(o["value"], str) and o["result"] is None, f"json text gate: {o}")
            if o["cycle"] == 1:
                text += o["value"]
        else:
            check(o["value"] is None and o["result"] is None, f"json trigger gate: {o}")
    if summary_expected:
        check(len(summary) == 1 and objects[-1] is summary[0], "json: the summary is not the one last line")
        if summary:
            s = summary[0]["summary"]
            check(s["cycles"] == cycles and s["transfers"] == cycles * len(EXPECTED) and s["failed"] == 0,
                  f"json summary {s}")
            check([g["gate"] for g in s["gates"]] == sorted(EXPECTED), f"json summary gates {s['gates']}")
            for g in s["gates"]:
                check(g["transfers"] == cycles and g["successes"] == cycles and g["failures"] == [] and
                      0 <= g["min_ms"] <= g["mean_ms"] <= g["max_ms"], f"json summary gate {g}")
            # Every gate is on station 1; fewer than 100 replies make the
            # 99th percentile the longest.
            stations = s.get("stations")
            check(isinstance(stations, list) and [st["station"] for st in stations] == [1],
                  f"json summary stations {stations}")
            for st in stations or []:
                check(st["transfers"] == cycles * len(EXPECTED) and st["successes"] == st["transfers"] and
                      st["silent"] == st["wrong_frames"] == st["crc_errors"] == st["skipped"] == 0 and
                      st["exceptions"] == [] and 0 <= st["min_ms"] <= st["mean_ms"] <= st["p99_ms"] and
                      st["p99_ms"] == max(g["max_ms"] for g in s["gates"]) and
                      st["state_text"] in ("unknown", "answering"), f"json summary station {st}")
    else:
        check(not summary, "json: a summary after a single read")
    return text


def main():
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "report.txt"), "wb") as f:
            f.write(REPORT)
        with open(os.path.join(work, "g.gates"), "w") as f:
            f.write(GATES)
        sim = subprocess.Popen([RTUSIM, "--link", os.path.join(work, "com1"), "--set", f"1:hr:100=float:{FLOAT_TEXT}",
                                "--set", "1:hr:200=ulong:4294967295", "--report",
                                f"1:1=file:{os.path.join(work, 'report.txt')}"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            for _ in range(200):
                if os.path.islink(os.path.join(work, "com1")):
                    break
                time.sleep(0.05)
            # A report fetch, so that the text gates hold the awkward bytes.
            out, _ = vpihost(work, "--format", "csv", "report", "!R01", "1")
            text = check_csv(out, 1)
            check(text == REPORT[:160], f"csv texts {text!r}, wanted {REPORT[:160]!r}")
            out, _ = vpihost(work, "--format", "json", "report", "!R01", "1")
            text = check_json(out, 1, summary_expected=False)
            # Not UTF-8: each byte as Latin-1, so nothing is lost.
            check(text.encode("latin-1") == REPORT[:160], f"json texts {text!r}")
            # Polling: records for every cycle, then the summary.
            out, _ = vpihost(work, "--format", "json", "--cycles", "3", "--interval", "0")
            check_json(out, 3, summary_expected=True)
            out, err = vpihost(work, "--format", "csv", "--cycles", "2", "--interval", "0")
            check_csv(out, 2)
            check("summary: 2 cycles" in err, "csv: no summary on stderr")
            check("\nstation  transfers " in err, "csv: no station table on stderr")
        finally:
            sim.terminate()
            sim.wait(timeout=10)
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("vpihost formats: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
