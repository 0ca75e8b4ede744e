"""qxgate's web face: the identification documents against the schema the gateway serves (xmllint), a
real headless Chromium that logs in and sets the simulator through the live page, the password store,
and every refusal (wrong password, no form token, no login, another host) leaving the instrument
untouched, as qxsim's transcript shows.

Runs inside with_rpcbind.sh (as root). The programs come from the environment: QXSIM, QXGATE."""

import http.cookiejar
import os
import re
import socket
import ssl
import stat
import subprocess
import sys
import urllib.error
import urllib.parse
import urllib.request

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.support.ui import WebDriverWait

from test_gate_lan import peer  # noqa: F401 (the other host)
from test_gate_sharing import RUN_LIMIT

PASSWORD = "a bench source is no toy"
NS = "{http://lxistandard.org/schemas/InstrumentIdentification/2.0}"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def set_password(path, text):
    return subprocess.run([os.environ["QXGATE"], "set-password", "--store", str(path)], input=text,
                          capture_output=True, text=True, timeout=RUN_LIMIT)


@pytest.fixture
def store(tmp_path):
    path = tmp_path / "config" / "qxgate" / "passwd"
    run = set_password(path, PASSWORD + "\n")
    assert run.returncode == 0, run.stderr
    return path


@pytest.fixture
def web(simulator, gateway, store):
    """A factory: web(*options) serves one QX simulator with the web face (on the --listen address unless
    `listen` is given); returns (simulator, base URL on loopback)."""
    def start(*options, listen=None):
        sim = simulator()
        port = free_port()
        gateway(f"inst0={sim.resource},driver=qx70", "--no-mdns", "--http", f"{listen}:{port}" if listen else str(port),
                "--password-store", str(store), *options)
        return sim, f"http://127.0.0.1:{port}"
    return start


class Client:
    """A browser without a browser: a cookie jar, and the page's form token."""

    def __init__(self, base):
        self.base = base
        self.opener = urllib.request.build_opener(urllib.request.HTTPCookieProcessor(http.cookiejar.CookieJar()))

    def get(self, path):
        with self.opener.open(self.base + path, timeout=RUN_LIMIT) as reply:
            return reply.read().decode()

    def post(self, path, **fields):
        try:
            with self.opener.open(self.base + path, urllib.parse.urlencode(fields).encode(), timeout=RUN_LIMIT) as r:
                return r.status
        except urllib.error.HTTPError as e:
            return e.code

    def token(self, path):
        return re.search(r'name="csrf" value="([0-9a-f]{64})"', self.get(path)).group(1)


def test_the_store_holds_only_a_hash_and_refuses_blank_passwords(store):
    assert stat.S_IMODE(store.stat().st_mode) == 0o600
    assert stat.S_IMODE(store.parent.stat().st_mode) == 0o700
    kept = store.read_text()
    assert kept.startswith("$argon2id$") and PASSWORD not in kept
    for blank in ["\n", "  \n", ""]:
        assert set_password(store, blank).returncode != 0
    assert store.read_text() == kept


def test_the_identification_documents_validate_against_the_served_schema(simulator, gateway, tmp_path):
    sims = [simulator(), simulator()]
    port = free_port()
    gateway(f"inst0={sims[0].resource},driver=qx70", f"gpib0,5={sims[1].resource},socket={free_port()}",
            "--no-mdns", "--http", str(port), "--description", "Bench <3> & co")
    base = f"http://127.0.0.1:{port}"
    top = Client(base).get("/lxi/identification")
    schema = re.search(r'schemaLocation="\S+ (\S+)"', top).group(1)
    assert schema.startswith(base)
    (tmp_path / "id.xsd").write_text(Client(schema).get(""))
    uris = re.findall(r"<DeviceURI>(.*?)</DeviceURI>", top)
    assert uris == [f"{base}/devices/inst0/", f"{base}/devices/gpib0,5/"]
    assert "<Model>qxgate</Model>" in top and "<LXIVersion></LXIVersion>" in top
    documents = [top] + [Client(uri + "lxi/identification").get("") for uri in uris]
    assert "::5025::SOCKET" not in documents[1] and re.search(r"TCPIP::127.0.0.1::\d+::SOCKET", documents[2])
    for i, document in enumerate(documents):
        (tmp_path / f"{i}.xml").write_text(document)
        check = subprocess.run(["xmllint", "--noout", "--schema", str(tmp_path / "id.xsd"), str(tmp_path / f"{i}.xml")],
                               capture_output=True, text=True, timeout=RUN_LIMIT)
        assert check.returncode == 0, check.stderr
    assert "<Model>7103QX</Model>" in documents[1] and "Bench &lt;3&gt; &amp; co" in documents[1]


def test_a_browser_logs_in_sets_the_source_and_sees_the_live_page_follow(web):
    sim, base = web()
    options = webdriver.ChromeOptions()
    for option in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1200,1400"]:
        options.add_argument(option)
    browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        # A form's answer loads a new page: an element read meanwhile is stale, and read again.
        wait = WebDriverWait(browser, 30, ignored_exceptions=(StaleElementReferenceException,))
        find = lambda id: wait.until(lambda b: b.find_element(By.ID, id))  # noqa: E731
        text = lambda id: find(id).text  # noqa: E731
        browser.get(base + "/")
        assert "7103QX" in browser.page_source and "TCPIP::127.0.0.1::inst0::INSTR" in browser.page_source
        browser.find_element(By.LINK_TEXT, "inst0").click()
        wait.until(lambda _: text("s-voltage") not in ("…", "") and text("m-voltage_p3") != "…")
        find("login-link").click()
        find("password").send_keys(PASSWORD)
        find("login").click()
        find("value-voltage").send_keys("120")
        find("do-voltage").click()
        assert text("notice") == "Voltage set to 120 V."
        find("output-on").click()
        wait.until(lambda _: text("s-voltage") == "120.0" and text("s-output") == "on")
        assert text("stream") == "connected" and re.fullmatch(r"\d\d:\d\d:\d\d\.\d{3} UTC", text("s-output-time"))
    finally:
        browser.quit()
    received = sim.received()
    assert "VOLT 120.000000" in received and "OUTP 1" in received
    # The polls leave the phases coupled: a voltage set after them is every phase's.
    selections = [m for m in received[:received.index("VOLT 120.000000")] if m.startswith("INST:")]
    assert "INST:NSEL 3" in selections and selections[-1] == "INST:COUP 1"


def test_refused_requests_change_nothing(web):
    sim, base = web()
    page = "/devices/inst0/"
    client = Client(base)
    token = client.token("/login")
    assert client.post(page + "control", action="voltage", value="200") == 403  # no form token
    assert client.post(page + "control", csrf=token, action="voltage", value="200") == 403  # no login
    assert client.post("/login", csrf="0" * 64, password=PASSWORD) == 403
    assert client.post("/login", csrf=token, password="not it") == 403
    assert client.post(page + "control", csrf=token, action="output", value="on") == 403
    received = sim.received()
    assert not [m for m in received if m.startswith(("VOLT ", "OUTP "))], received


def test_https_serves_with_the_given_certificate_and_secure_cookies(web, tmp_path):
    key, cert = tmp_path / "key.pem", tmp_path / "cert.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "1", "-subj", "/CN=qxgate", "-addext", "subjectAltName=IP:127.0.0.1"],
                   check=True, capture_output=True, timeout=RUN_LIMIT)
    sim, base = web("--tls-cert", str(cert), "--tls-key", str(key))
    context = ssl.create_default_context(cafile=cert)
    with urllib.request.urlopen(base.replace("http:", "https:") + "/login", context=context, timeout=RUN_LIMIT) as r:
        cookie = r.headers["Set-Cookie"]
    assert re.fullmatch(r"__Host-qxgate=[0-9a-f]{64}; Path=/; HttpOnly; SameSite=Strict; Max-Age=\d+; Secure", cookie)
    with pytest.raises(OSError):
        urllib.request.urlopen(base + "/", timeout=RUN_LIMIT)  # no plain HTTP beside it


PEER_GET = """
import sys, urllib.request, urllib.error
try:
    r = urllib.request.urlopen(urllib.request.Request(sys.argv[1], data=sys.argv[2].encode() or None), timeout=10)
    print(r.status)
except urllib.error.HTTPError as e:
    print(e.code)
"""


def test_other_hosts_are_refused_or_only_look(web, peer):  # noqa: F811
    port_of = lambda base: base.rsplit(":", 1)[1]  # noqa: E731
    sim, base = web(listen="0.0.0.0")
    url = f"http://10.9.0.1:{port_of(base)}"
    assert peer(sys.executable, "-c", PEER_GET, url + "/", "").stdout.split() == ["403"]
    sim, base = web("--allow-read", "10.9.0.2")
    url = f"http://10.9.0.1:{port_of(base)}"
    assert peer(sys.executable, "-c", PEER_GET, url + "/devices/inst0/", "").stdout.split() == ["200"]
    assert peer(sys.executable, "-c", PEER_GET, url + "/login", "password=" + PASSWORD).stdout.split() == ["403"]
    assert "VOLT " not in sim.transcript.read_text()
