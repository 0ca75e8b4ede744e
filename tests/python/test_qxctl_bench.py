"""qxctl run and log as a test engineer runs them, against qxsim on a pseudo-terminal: a sequence
with its report, its exit status, its refusals (nothing sent) and Ctrl-C (the output left off); a
log killed mid-run that keeps every row it gave."""

import csv
import json
import os
import signal
import sqlite3
import subprocess

from test_qxctl import RUN_LIMIT, qxctl


def compressed(name, tmp_path, factor=100):
    """The shipped sequence `name` with every wait and interval `factor` times shorter."""
    with open(os.path.join(os.environ["QX_PRESETS"], name + ".json")) as shipped:
        sequence = json.load(shipped)
    for step in sequence["steps"]:
        for key in ("wait", "interval"):
            if key in step:
                step[key] /= factor
    path = tmp_path / (name + ".json")
    path.write_text(json.dumps(sequence))
    return path


def report_rows(path):
    with open(path, newline="") as report:
        return list(csv.DictReader(line for line in report if not line.startswith("#")))


def test_the_iec_interruptions_run_in_order_and_every_run_is_reported(simulator, tmp_path):
    sim = simulator()
    report = tmp_path / "report.csv"
    run = qxctl("-r", sim.resource, "run", str(compressed("iec-61000-4-11-interruptions", tmp_path)),
                "--report", str(report))
    assert (run.returncode, run.stdout) == (0, "completed: 22 runs, 22 passed, 0 failed\ncompleted\n"), run.stderr
    assert "qxctl: step 5/14 run 3 drop angle=0;time=0.01;phase=0: pass\n" in run.stderr

    wire = sim.between_open_and_close()
    angles = [command.split()[1] for command in wire if command.startswith("OUTP:STAR:PHAS")]
    assert angles == ["0.000000"] * 3 + ["90.000000"] * 3 + ["180.000000"] * 3 + ["270.000000"] * 3
    assert wire.count("OUTP:DROP 0.010000") == 12
    assert wire[:4] == ["*IDN?"] * 3 + ["SYST:ERR?"]  # the test record's model, serial number and firmware
    assert wire[4:7] == ["VOLT:RANG 300.000000", "SYST:ERR?", "FREQ 50.000000"]
    assert wire[-3:] == ["OUTP 0", "SYST:ERR?", ":SYST:ERR?"]  # the error queue read at the end

    rows = report_rows(report)
    assert len(rows) == 22 and all(row["result"] == "pass" for row in rows)
    assert [(row["step"], row["run"]) for row in rows[4:7]] == [("5", "1"), ("5", "2"), ("5", "3")]
    assert rows[3]["values"].startswith("voltage=230;current=")
    assert report.read_text().splitlines()[-2:] == ["# completed: 22 runs, 22 passed, 0 failed", "# completed"]


def test_refused_sequences_send_nothing(simulator, tmp_path):
    sim = simulator("--model", "7101QX")
    lacking = tmp_path / "phase2.json"
    lacking.write_text('{"steps": [{"output": "on"}, {"measure": ["voltage"], "phase": 2}]}')
    run = qxctl("-r", sim.resource, "run", str(lacking))
    assert (run.returncode, run.stdout) == (2, "")
    assert run.stderr == f"qxctl: run: {lacking}: step 2: phase 2: the 7101QX has phase 1 only; nothing was sent\n"
    assert "OUTP 1" not in sim.between_open_and_close()

    # A wrong file is refused before the instrument is opened at all.
    broken = tmp_path / "broken.json"
    broken.write_text('{"steps": [{"drop": {"angle": 45}}]}')
    run = qxctl("-r", sim.resource, "--json", "run", str(broken))
    assert run.returncode == 2
    assert json.loads(run.stdout)["error"]["message"] == \
        f"{broken}: step 1: angle 45 is not allowed (0, 90, 180 or 270)"

    run = qxctl("-r", sim.resource, "run", "no-such-sequence")
    assert run.returncode == 2
    assert "iec-61000-4-11-interruptions, iec-61000-4-11-short-interruption-50hz" in run.stderr, run.stderr


def test_ctrl_c_stops_a_wait_and_leaves_the_output_off(simulator, tmp_path):
    sim = simulator()
    sequence = tmp_path / "long.json"
    sequence.write_text('{"name": "long", "steps": [{"output": "on"}, {"wait": 600}, {"output": "on"}]}')
    report = tmp_path / "report.csv"
    store = str(tmp_path / "records.sqlite")
    process = subprocess.Popen([os.environ["QXCTL"], "-r", sim.resource, "run", str(sequence), "--report", str(report),
                                "--db", store],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    for line in process.stderr:  # bounded: the wait is long, the run before it is not
        if line.startswith("qxctl: step 2/3 waits 600 s"):
            break
    process.send_signal(signal.SIGINT)
    stdout, stderr = process.communicate(timeout=RUN_LIMIT)
    assert process.returncode == 1, stderr
    assert stdout == "aborted: 2 runs, 2 passed, 0 failed\naborted during step 2; output switched off\n"
    assert sim.between_open_and_close()[-5:] == ["OUTP 1", "SYST:ERR?", "OUTP 0", "SYST:ERR?", ":SYST:ERR?"]
    assert [row["kind"] for row in report_rows(report)] == ["output", "wait"]
    record = json.loads(qxctl("records", "show", "last", "--db", store, "--json").stdout)
    assert (record["ending"], record["ended_by"], record["verdict"]) == ("aborted", "operator (Ctrl-C, SIGINT)",
                                                                         "incomplete")


def test_a_killed_log_keeps_every_row_it_printed_in_both_files(simulator, tmp_path):
    sim = simulator()
    table, database = tmp_path / "log.csv", tmp_path / "log.db"
    process = subprocess.Popen([os.environ["QXCTL"], "-r", sim.resource, "log", "voltage", "power-factor", "--phase", "1",
                                "--interval", "0.05", "--csv", str(table), "--db", str(database)],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    printed = [process.stdout.readline() for _ in range(6)]  # the header and five rows, then no warning
    process.kill()
    process.wait(timeout=RUN_LIMIT)
    assert printed[0] == "time,elapsed_s,voltage_p1,power_factor_p1\n"
    rows = [line.rstrip("\n").split(",") for line in printed[1:]]

    written = table.read_text().splitlines()
    assert written[0] == printed[0].rstrip("\n")
    assert [line.split(",") for line in written[1:len(rows) + 1]] == rows
    with sqlite3.connect(database) as db:
        (name, columns), = db.execute("SELECT name, columns FROM runs").fetchall()
        assert columns == "voltage_p1 power_factor_p1"
        stored = db.execute(f'SELECT time, elapsed_s FROM "{name}" ORDER BY rowid').fetchall()
    assert [(row[0], float(row[1])) for row in rows] == [(time, round(elapsed, 3)) for time, elapsed in stored[:len(rows)]]


def test_a_run_leaves_a_record_listed_shown_and_reported_with_every_trace_field(simulator, tmp_path):
    import hashlib
    sim = simulator("--serial", "QX7-0815")
    store = str(tmp_path / "records.sqlite")
    sequence = compressed("iec-61000-4-11-interruption-half-cycle-50hz", tmp_path)
    run = qxctl("-r", sim.resource, "run", str(sequence), "--operator", "M. Keller", "--eut", "PSU-240,SN 22-0417",
                "--db", store)
    assert run.returncode == 0, run.stderr
    assert f"qxctl: run: test record 1 filed in {store}\n" in run.stderr

    listed = json.loads(qxctl("records", "list", "--db", store, "--json").stdout)
    assert [{key: value for key, value in entry.items() if key not in ("uuid", "time")} for entry in listed] == [{
        "id": 1, "sequence": json.loads(sequence.read_text())["name"], "model": "7103QX", "serial": "QX7-0815",
        "operator": "M. Keller", "eut": "PSU-240 (SN 22-0417)", "verdict": "pass"}]
    record = json.loads(qxctl("records", "show", "last", "--db", store, "--json").stdout)
    drops = [(step["drop_angle"], step["drop_time"]) for step in record["steps"] if step["kind"] == "drop"]
    assert drops == [(angle, 0.01) for angle in (0, 90, 180, 270) for _ in range(3)]
    assert record["ended_by"] == "" and listed[0]["time"] == record["started"] < record["ended"]
    assert (record["uuid"], record["instrument"]["resource"]) == (listed[0]["uuid"], sim.resource)

    pdf = tmp_path / "report.pdf"
    made = qxctl("report", "last", "--db", store, "--pdf", str(pdf))
    assert (made.returncode, made.stdout) == (0, f"{pdf}\n"), made.stderr
    text = subprocess.run(["pdftotext", "-layout", str(pdf), "-"], capture_output=True, text=True, timeout=60).stdout
    for field in ("PASS", "7103QX", "QX7-0815", "1.02", "qxctl", "M. Keller", "PSU-240", "SN 22-0417",
                  hashlib.sha256(sequence.read_bytes()).hexdigest(), record["uuid"], record["started"], "90°, 10 ms"):
        assert field in text, field
    pages = int(next(line.split()[1] for line in subprocess.run(["pdfinfo", str(pdf)], capture_output=True,
                                                                   text=True, timeout=60).stdout.splitlines()
                     if line.startswith("Pages:")))
    subprocess.run(["pdftoppm", "-r", "20", "-png", str(pdf), str(tmp_path / "page")], check=True, timeout=120)
    assert len(list(tmp_path.glob("page-*.png"))) == pages > 1
