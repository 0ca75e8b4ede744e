"""Test records filed on a lab's PostgreSQL server by qxctl runs on the simulator: a real PostgreSQL
server of the test's own (initdb in a temporary folder, on a Unix socket only, as an unprivileged
user), a round trip, the server stopped in the middle of a run (the record waits in the bench's
file and arrives with `records sync`), and a second sync that adds nothing."""

import glob
import hashlib
import json
import os
import shutil
import sqlite3
import subprocess
import tempfile

import pytest

from test_qxctl import RUN_LIMIT, qxctl

SERVER_LIMIT = 60  # seconds for the server to start or stop
SEQUENCE = {"name": "lab round trip", "steps": [
    {"set": {"voltage": 230}}, {"output": "on"},
    {"drop": {"angle": 90, "time": 0.01}, "repeat": 2},
    {"measure": ["voltage", "current"], "expect": {"voltage": [225, 235]}},
    {"wait": 3}, {"output": "off"}]}


def server_bin():
    found = sorted(glob.glob("/usr/lib/postgresql/*/bin/initdb"))
    assert found, "PostgreSQL's server programs are not installed"
    return os.path.dirname(found[-1])


class Server:
    """A PostgreSQL server in a folder of its own, run as `nobody` when the tests run as root (initdb
    refuses root); its superuser is qx, reached by its socket only."""

    def __init__(self):
        self.bin = server_bin()
        self.folder = tempfile.mkdtemp(prefix="qx-pg-")  # short: a socket path has a bound
        self.data, self.socket = os.path.join(self.folder, "data"), os.path.join(self.folder, "socket")
        os.mkdir(self.socket)
        self.as_server = []
        if os.geteuid() == 0:
            shutil.chown(self.folder, "nobody")
            shutil.chown(self.socket, "nobody")
            self.as_server = ["runuser", "-u", "nobody", "--"]
        self.server(["initdb", "-U", "qx", "-A", "trust", "-E", "UTF8", "--locale=C", "--no-sync", "-D", self.data])
        self.start()
        self.client("createdb", "lab")
        self.uri = f"postgresql:///lab?host={self.socket}&user=qx"

    def server(self, command):
        subprocess.run(self.as_server + [os.path.join(self.bin, command[0]), *command[1:]], check=True,
                       capture_output=True, timeout=SERVER_LIMIT)

    def start(self):
        self.server(["pg_ctl", "-D", self.data, "-l", os.path.join(self.folder, "log"), "-w", "-t", str(SERVER_LIMIT),
                     "-o", f"-k {self.socket} -c listen_addresses='' -F", "start"])

    def stop(self):
        self.server(["pg_ctl", "-D", self.data, "-m", "fast", "-w", "-t", str(SERVER_LIMIT), "stop"])

    def client(self, program, *args):
        return subprocess.run([os.path.join(self.bin, program), "-h", self.socket, "-U", "qx", *args],
                              check=True, capture_output=True, text=True, timeout=SERVER_LIMIT).stdout

    def query(self, sql):
        return self.client("psql", "-d", "lab", "-tAc", sql).strip()

    def remove(self):
        if os.path.exists(os.path.join(self.data, "postmaster.pid")):
            self.stop()
        shutil.rmtree(self.folder)


@pytest.fixture
def postgres():
    server = Server()
    yield server
    server.remove()


@pytest.fixture
def bench(tmp_path):
    """The environment of a bench with a data folder of its own, and the sequence file."""
    sequence = tmp_path / "lab.json"
    sequence.write_text(json.dumps(SEQUENCE))
    return {"XDG_DATA_HOME": str(tmp_path / "data")}, sequence


def run_args(sequence, uri):
    return ["--simulate", "run", str(sequence), "--operator", "Ann O'Neil", "--eut", "Kettle,K-77", "--db", uri]


def shown(env, *db):
    show = qxctl("records", "show", "last", "--json", *db, env=env)
    assert show.returncode == 0, show.stderr
    return json.loads(show.stdout)


def test_a_run_files_its_whole_record_on_the_server(postgres, bench):
    env, sequence = bench
    run = qxctl(*run_args(sequence, postgres.uri), env=env)
    assert run.returncode == 0, run.stderr
    assert f"qxctl: run: test record 1 filed in {postgres.uri}\n" in run.stderr

    record = shown(env, "--db", postgres.uri)
    assert {key: record["instrument"][key] for key in ("model", "serial", "firmware")} == \
        {"model": "7103QX", "serial": "SN000123", "firmware": "1.02"}
    assert (record["operator"], record["eut"]) == ("Ann O'Neil", {"name": "Kettle", "serial": "K-77"})
    assert record["sequence"] == {"name": "lab round trip", "file": str(sequence),
                                  "sha256": hashlib.sha256(sequence.read_bytes()).hexdigest()}
    assert (record["software"], record["verdict"], record["ending"], record["runs"]) == \
        ("qxctl", "pass", "completed", 7)
    assert record["started"] < record["ended"] and record["host"]
    drops = [s for s in record["steps"] if s["kind"] == "drop"]
    assert [(s["run"], s["drop_angle"], s["drop_time"]) for s in drops] == [(1, 90, 0.01), (2, 90, 0.01)]
    measure, = [s for s in record["steps"] if s["kind"] == "measure"]
    assert [(r["kind"], r["unit"]) for r in measure["readings"]] == [("voltage", "V"), ("current", "A")]
    assert measure["limits"] == [{"kind": "voltage", "low": 225, "high": 235, "unit": "V"}]

    # The same record as the bench keeps it, and nothing more on the server.
    local = shown(env)
    assert {**local, "id": 1} == record
    assert postgres.query("SELECT count(*) FROM runs") == "1"
    assert postgres.query("SELECT count(*) FROM step_runs") == "7"
    assert postgres.query("SELECT count(*) FROM readings") == "2"


def test_a_server_stopped_mid_run_gets_the_record_by_sync_once(postgres, bench):
    env, sequence = bench
    process = subprocess.Popen([os.environ["QXCTL"], *run_args(sequence, postgres.uri)], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True, env={**os.environ, **env})
    for line in process.stderr:  # bounded: the steps before the wait are quick
        if line.startswith("qxctl: step 5/6 waits 3 s"):
            break
    postgres.stop()
    stdout, stderr = process.communicate(timeout=RUN_LIMIT)
    assert process.returncode == 0, stderr
    assert stdout == "completed: 7 runs, 7 passed, 0 failed\ncompleted\n"
    assert "the record is kept locally in " in stderr and f"records sync --db {postgres.uri}` sends it later" in stderr

    kept = shown(env)
    refused = qxctl("records", "sync", "--db", postgres.uri, env=env)
    assert refused.returncode == 1 and "cannot reach the records server" in refused.stderr, refused.stderr

    postgres.start()
    listed = qxctl("records", "list", "--json", "--db", postgres.uri, env=env)
    assert (listed.returncode, listed.stdout) == (0, "[]\n"), listed.stderr
    local = os.path.join(env["XDG_DATA_HOME"], "qxseries", "records.sqlite")
    for sent in (1, 0):
        sync = qxctl("records", "sync", "--db", postgres.uri, env=env)
        assert (sync.returncode, sync.stdout) == (0, f"{sent} sent to {postgres.uri}\n"), sync.stderr
        with sqlite3.connect(local) as db:
            assert db.execute("SELECT count(*) FROM outbox").fetchone() == (0,)
            # As if the server's answer to the commit had been lost: the record goes again.
            db.execute("INSERT INTO outbox (run_id, server) VALUES (?, ?)", (kept["id"], postgres.uri))
    assert postgres.query(f"SELECT count(*) FROM runs WHERE uuid = '{kept['uuid']}'") == "1"
    assert postgres.query("SELECT count(*) FROM step_runs") == "7"
    assert {**shown(env, "--db", postgres.uri), "id": kept["id"]} == kept
