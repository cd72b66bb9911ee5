#!/usr/bin/env python3
"""Throw-away simulated company network for running the updater against.

Usage: lab/lab.py WORLD.json -- COMMAND [ARGS...]

Builds the world described by WORLD.json inside private network, mount and
pid namespaces, runs COMMAND in it (same cwd, same environment plus
LAB_STATE=<state dir>), tears everything down and exits with COMMAND's
status.  Needs root and util-linux `unshare`; exits 77 (skipped, for ctest)
when not run as root.  LAB_KEEP=1 keeps the state directory; LAB_TIMING=1
prints how long each start-up step took.

Inside the world api/painel/scripts.zelvo.example are 127.0.0.1 and ::1,
where a mock HTTPS server answers with a certificate from a per-run test CA
(the only CA in /etc/ssl/certs/ca-certificates.crt); each machine is a real
sshd on 192.0.0.16-127 or 3fff::/20 speaking Portuguese (pt_BR.UTF-8).

WORLD.json (every key optional):
  "machines": [ {                       one object per appliance
      "name": "maq<N>", "user": "suporte", "password": "suporte",
      "root_password": "root", "ip": next free of 192.0.0.16.., "port": 22,
      "python": "3.8.10" (null: no python3), "scripts": {file: text}
      (null: no external-scripts folder), "files_mode": "0644",
      "files_owner": "0:0", "links": {name: target} (symlinks beside the
      scripts), "disk_full": false (the scripts folder is a full file system),
      "shell": "/bin/bash" (the account's login shell), "profile": [lines
      added to its login profile, e.g. "umask 027"], "auth": "password"
      ("keyboard-interactive": sshd asks through PAM, password auth off),
      "home": {file: text} (left in the account's home, owned by the
      account; a file name may hold folders), "su_english": false (the
      Portuguese message catalogues hidden: su and ls speak English),
      "sshd_config": [lines added to its sshd_config, e.g.
      "ClientAliveInterval 2"], "commands": {name: script} (commands of its
      own, found before the system's, e.g. a wget that dies), "hidden":
      [commands the appliance lacks], "fifos": [named pipes left in the
      account's home],
      "su_delay": 0, "greeting": null, "banner_bytes": 0,
      "shell_exits": false, "kill_on_python": false, "sshd": true,
      "silent": false, "listed": true, "tipo": "manager",
      "customer": {"numero": 1000, "nome": "Cliente Lab"},
      "produto": "Korvax", "entry": {merged into its access-list entry},
      "entry_drop": [keys removed from it], any other key: copied to it } ],
  "extra_acessos": [customer entries appended to the access list as is],
  "latencia_ms": N (given, 0 too: the machines live in a network namespace of
          their own, behind a tun link that holds each packet N/2 ms each way; the
          repository and API, 192.0.0.10 and fd00:1ab::10 to them, undelayed),
  "syslog": false (true: a syslog socket at /dev/log for COMMAND, whose
          records become the lines of <state>/syslog.log),
  "api": {"login": RESPONSE, "acessos": RESPONSE (default: the access list
          built from the machines), "routes": {"METHOD /path": RESPONSE},
          "wrong_cert": false},
  "repository": {"last_modified": null (an HTTP date sent with every file),
                 "missing": ["python3.8.10/coleta/disco.py"],
                 "missing_all": false, "files": {"python<v>/<path>": text},
                 "versions": ["3.8.10", ...] (when given, other versions are 404)}
RESPONSE: {"status": 200, "body": JSON | "raw": text | "body_file": path
  (relative to WORLD.json), "encoding": gzip|deflate|br|zstd,
  "truncate": N, "cut": N, "content_type": "application/json",
  "headers": [[k, v]], "delay": seconds, "reason": status line text},
  or a list of them answering
  successive requests.  "truncate" promises the whole (encoded) body, sends
  its first N bytes and hangs up; "cut" keeps only the encoded body's first
  N bytes (a negative N drops the last -N, e.g. -8 a gzip trailer) and sends
  them as a complete, well-framed answer.  "raw_charset" encodes "raw" in
  another charset (e.g. utf-16); "blanks_mb": N serves "blanks_prefix"
  (default none) and N MB of blanks, gzip-compressed (a small body that
  decodes huge; give "encoding": gzip).  "trickle": N sends the body N bytes
  a second.
  "silence": true reads the request and never answers; "stall": N sends the
  headers and the first N body bytes, then nothing more (the connection
  stays open until the client leaves).
"""
import collections
import ctypes
import fcntl
import gzip
import http.server
import ipaddress
import json
import os
import re
import select
import shlex
import shutil
import signal
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import zlib

API_NAMES = ("api.zelvo.example", "painel.zelvo.example", "scripts.zelvo.example")
WRONG_NAME = "other.example"
SCRIPTS_DIR = "/var/lib/docker/volumes/korvax_externalscripts/_data"
STATE_PREFIX = "lab-state-"
RUN = "/run/lab"                      # tmpfs, exists only inside the world
LOCALE_CACHE = "/var/cache/atualizacao-lab/locale"
LANG = "pt_BR.UTF-8"
V4_FIRST, V4_LAST = ipaddress.ip_address("192.0.0.16"), ipaddress.ip_address("192.0.0.127")
V6_NET = ipaddress.ip_network("3fff::/20")
DEFAULT_LOGIN = {"status": 200, "body": {"token": "tok-lab-123"}}
DEFAULT_CUSTOMER = {"numero": 1000, "nome": "Cliente Lab"}
MACHINE_DEFAULTS = {
    "name": None, "user": "suporte", "password": "suporte", "root_password": "root",
    "ip": None, "port": 22, "python": "3.8.10", "scripts": {}, "files_mode": "0644",
    "files_owner": "0:0", "links": {}, "disk_full": False, "shell": "/bin/bash", "profile": [],
    "auth": "password", "home": {}, "sshd_config": [], "commands": {}, "hidden": [], "fifos": [],
    "su_delay": 0, "greeting": None, "banner_bytes": 0, "shell_exits": False,
    "kill_on_python": False, "sshd": True, "silent": False, "listed": True, "su_english": False,
    "tipo": "manager", "customer": None, "produto": "Korvax", "entry": {}, "entry_drop": [],
}
# Fields the access list carries under its own names.
ENTRY_FIELDS = {"tipo": "tipo", "ip": "ip", "port": "sshPort", "user": "user",
                "password": "senhaVm", "root_password": "senhaRoot"}


class LabError(Exception):
    pass


def log(msg):
    print("lab: " + msg, file=sys.stderr, flush=True)


def run(*args, input=None):
    """Runs a helper command; its failure is a world-building failure."""
    p = subprocess.run(args, input=input, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if p.returncode != 0:
        raise LabError("%s failed: %s" % (" ".join(args), p.stderr.decode(errors="replace").strip()))
    return p.stdout


# ---------------------------------------------------------------- world file

def in_lab_range(ip):
    if ip.version == 4:
        return V4_FIRST <= ip <= V4_LAST
    return ip in V6_NET


def load_world(path):
    try:
        with open(path, encoding="utf-8") as f:
            world = json.load(f)
    except (OSError, ValueError) as e:
        raise LabError("cannot read world %s: %s" % (path, e))
    if not isinstance(world, dict) or not isinstance(world.get("machines", []), list) \
            or not all(isinstance(m, dict) for m in world.get("machines", [])):
        raise LabError("world %s: expected an object whose \"machines\" is a list of objects" % path)
    world["base_dir"] = os.path.dirname(os.path.abspath(path))
    raw_machines = world.get("machines", [])
    explicit = {str(m.get("ip")) for m in raw_machines}
    pool = (str(V4_FIRST + i) for i in range(int(V4_LAST) - int(V4_FIRST) + 1))
    machines, names, endpoints = [], set(), set()
    for i, raw in enumerate(raw_machines):
        m = dict(MACHINE_DEFAULTS, name="maq%d" % (i + 1))
        m.update(raw)
        m["extra"] = {k: v for k, v in raw.items() if k not in MACHINE_DEFAULTS}
        if m["python"] is not None:
            m["python"] = str(m["python"])
        if not re.fullmatch(r"[A-Za-z0-9][A-Za-z0-9_.-]{0,40}", m["name"]) or m["name"] in names:
            raise LabError("bad or repeated machine name %r" % m["name"])
        names.add(m["name"])
        if m["ip"] is None:
            m["ip"] = next(ip for ip in pool if ip not in explicit)
        try:
            addr = ipaddress.ip_address(m["ip"])
        except ValueError:
            raise LabError("machine %s: bad ip %r" % (m["name"], m["ip"]))
        m["lab_address"] = in_lab_range(addr)
        m["listens"] = bool(m["silent"] or m["sshd"])
        if m["listens"] and not m["lab_address"]:
            raise LabError("machine %s: %s is outside 192.0.0.16-127 and 3fff::/20; "
                           "such machines may only be listed (\"sshd\": false)" % (m["name"], m["ip"]))
        if m["user"] == "root" or not re.fullmatch(r"[a-z_][a-z0-9_-]{0,30}", m["user"]):
            raise LabError("machine %s: unusable login user %r" % (m["name"], m["user"]))
        if m["listens"]:
            ep = (str(addr), int(m["port"]))
            if ep in endpoints:
                raise LabError("machine %s: %s port %s used twice" % (m["name"], *ep))
            endpoints.add(ep)
        machines.append(m)
    world["machines"] = machines
    if not isinstance(world.get("latencia_ms", 0), (int, float)) or world.get("latencia_ms", 0) < 0:
        raise LabError("latencia_ms: expected a round trip in milliseconds, not %r" % world["latencia_ms"])
    api = world.get("api", {})
    for resp in [api.get("login"), api.get("acessos")] + list(api.get("routes", {}).values()):
        for r in (resp if isinstance(resp, list) else [resp]):
            if r is None:
                continue
            if r.get("encoding") not in (None, "gzip", "deflate", "br", "zstd"):
                raise LabError("unknown encoding %r" % r["encoding"])
            if "body_file" in r and not os.path.isfile(os.path.join(world["base_dir"], r["body_file"])):
                raise LabError("body_file %s not found" % r["body_file"])
    return world


def machine_entry(m):
    entry = {out: m[key] for key, out in ENTRY_FIELDS.items()}
    entry.update(m["extra"])
    entry.update(m["entry"])
    for key in m["entry_drop"]:
        entry.pop(key, None)
    return entry


def access_list(world):
    """Customers in first-seen order, each with its products and machines."""
    customers = {}
    for m in world["machines"]:
        if not m["listed"]:
            continue
        cust = m["customer"] or DEFAULT_CUSTOMER
        entry = customers.setdefault(cust.get("numero"), dict(cust, produto=[]))
        prod = next((p for p in entry["produto"] if p["nome"] == m["produto"]), None)
        if prod is None:
            prod = {"nome": m["produto"], "maquinas": []}
            entry["produto"].append(prod)
        prod["maquinas"].append(machine_entry(m))
    return list(customers.values()) + list(world.get("extra_acessos", []))


# ------------------------------------------------------------ locale cache

def ensure_locale():
    """pt_BR.UTF-8 compiled once, next to copies of the host's own locales.

    su is setuid and ignores LOCPATH, so the folder is later bound over
    /usr/lib/locale inside the world; it must keep what the host had."""
    host = set(os.listdir("/usr/lib/locale"))
    ready = os.path.join(LOCALE_CACHE, ".ready")
    if os.path.exists(ready) and host <= set(os.listdir(LOCALE_CACHE)):
        return
    os.makedirs(os.path.dirname(LOCALE_CACHE), exist_ok=True)
    with open(LOCALE_CACHE + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(ready) and host <= set(os.listdir(LOCALE_CACHE)):
            return
        log("generating %s locale in %s (once)" % (LANG, LOCALE_CACHE))
        tmp = tempfile.mkdtemp(dir=os.path.dirname(LOCALE_CACHE), prefix="locale.")
        for name in host:
            src = os.path.join("/usr/lib/locale", name)
            if subprocess.run(["cp", "-al", src, tmp], stderr=subprocess.DEVNULL).returncode:
                run("cp", "-a", src, tmp)
        if not {"pt_BR.UTF-8", "pt_BR.utf8"} & host:
            # localedef exits 1 on mere warnings; the files are what count.
            subprocess.run(["localedef", "-i", "pt_BR", "-f", "UTF-8",
                            os.path.join(tmp, LANG)], stdout=subprocess.DEVNULL)
            if not os.path.exists(os.path.join(tmp, LANG, "LC_CTYPE")):
                shutil.rmtree(tmp, ignore_errors=True)
                raise LabError("localedef could not build %s (install locales)" % LANG)
        open(os.path.join(tmp, ".ready"), "w").close()
        shutil.rmtree(LOCALE_CACHE, ignore_errors=True)
        os.rename(tmp, LOCALE_CACHE)
        os.chmod(LOCALE_CACHE, 0o755)


# ------------------------------------------------------------ HTTPS server

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "ZelvoLab/1.0"

    def log_message(self, *args):
        pass

    def read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            data = b""
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass
                    return data
                data += self.rfile.read(size)
                self.rfile.readline()
        return self.rfile.read(int(self.headers.get("Content-Length") or 0))

    def serve(self):
        lab = self.server.lab
        body = self.read_body()
        lab.record({"method": self.command, "path": self.path,
                    "headers": [[k, v] for k, v in self.headers.items()],
                    "body": body.decode("utf-8", errors="replace")})
        self.respond(lab.route(self.command, urllib.parse.urlsplit(self.path).path))

    do_GET = do_POST = do_PUT = do_DELETE = do_PATCH = do_HEAD = do_OPTIONS = serve

    def respond(self, resp):
        if resp.get("silence"):
            self.hold()
            return
        data = self.server.lab.payload(resp)
        if resp.get("cut") is not None:
            # A body damaged before it reached the server: the framing is right,
            # the content encoding is not.
            data = data[:int(resp["cut"])]
        if resp.get("delay"):
            time.sleep(float(resp["delay"]))
        self.send_response(int(resp.get("status", 200)), resp.get("reason"))
        ctype = resp.get("content_type", "application/json")
        if ctype is not None:
            self.send_header("Content-Type", ctype)
        if resp.get("encoding"):
            self.send_header("Content-Encoding", resp["encoding"])
        for name, value in resp.get("headers", []):
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if self.command == "HEAD":
            return
        if resp.get("stall") is not None:
            self.wfile.write(data[:int(resp["stall"])])
            self.wfile.flush()
            self.hold()
            return
        if resp.get("trickle"):
            pausa = 1.0 / float(resp["trickle"])
            try:
                for i in range(len(data)):
                    self.wfile.write(data[i:i + 1])
                    self.wfile.flush()
                    time.sleep(pausa)
            except OSError:
                pass  # the client gave up
            return
        if resp.get("truncate") is not None:
            # A server dying mid-body: promise everything, send a part, hang up.
            self.wfile.write(data[:int(resp["truncate"])])
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            return
        for i in range(0, len(data), 1 << 20):
            self.wfile.write(data[i:i + (1 << 20)])


    def hold(self):
        """Keeps the connection open, sending nothing, until the client closes it."""
        self.close_connection = True
        self.connection.settimeout(None)
        try:
            while self.connection.recv(4096):
                pass
        except OSError:
            pass


class TLSServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, addr, family, ctx, lab):
        self.address_family, self.ctx, self.lab = family, ctx, lab
        super().__init__(addr, Handler)

    def server_bind(self):
        # Skips HTTPServer's reverse lookup of the address.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = "api.zelvo.example", self.server_address[1]

    def get_request(self):
        sock, addr = self.socket.accept()
        sock.settimeout(120)
        # Handshake lazily in the handler thread, so a stuck client blocks nobody.
        return self.ctx.wrap_socket(sock, server_side=True, do_handshake_on_connect=False), addr

    def handle_error(self, request, client_address):
        self.lab.note_error(client_address, sys.exc_info()[1])


class Api:
    """What the company's servers answer, and the log of what they were asked."""

    def __init__(self, world, state):
        self.world, self.state = world, state
        api = world.get("api", {})
        self.routes = {"POST /login": api.get("login", DEFAULT_LOGIN),
                       "GET /acessos": api.get("acessos")}
        if self.routes["GET /acessos"] is None:
            body = json.dumps(access_list(world), ensure_ascii=False)
            with open(os.path.join(state, "acessos.json"), "w", encoding="utf-8") as f:
                f.write(body)
            self.routes["GET /acessos"] = {"status": 200, "raw": body}
        self.routes.update(api.get("routes", {}))
        self.repo = world.get("repository", {})
        self.counts, self.cache = {}, {}
        self.lock = threading.Lock()
        self.log = open(os.path.join(state, "requests.jsonl"), "a", encoding="utf-8")
        self.errors = open(os.path.join(state, "https.log"), "a", encoding="utf-8")

    def record(self, entry):
        with self.lock:
            self.log.write(json.dumps(entry, ensure_ascii=False) + "\n")
            self.log.flush()

    def note_error(self, client, exc):
        with self.lock:
            self.errors.write("%s: %r\n" % (client, exc))
            self.errors.flush()

    def route(self, method, path):
        key = method + " " + path
        if key in self.routes:
            with self.lock:
                n = self.counts[key] = self.counts.get(key, -1) + 1
            resp = self.routes[key]
            # A list answers successive requests in turn, the last one repeating.
            return resp[min(n, len(resp) - 1)] if isinstance(resp, list) else resp
        if any(k.split(" ", 1)[1] == path for k in self.routes):
            return {"status": 405, "body": {"erro": "method not allowed"}}
        repo = re.fullmatch(r"/python([^/]+)/(.+)", path)
        if repo and method in ("GET", "HEAD"):
            version, name = repo.group(1), urllib.parse.unquote(repo.group(2))
            ident = "python%s/%s" % (version, name)
            known = self.repo.get("versions")
            if self.repo.get("missing_all") or ident in self.repo.get("missing", []) \
                    or (known is not None and version not in known):
                return {"status": 404, "raw": "404 Not Found\n", "content_type": "text/plain"}
            text = self.repo.get("files", {}).get(ident, "# script %s for python %s\n" % (name, version))
            resp = {"status": 200, "raw": text, "content_type": "text/x-python"}
            if self.repo.get("last_modified"):
                resp["headers"] = [["Last-Modified", self.repo["last_modified"]]]
            return resp
        return {"status": 404, "body": {"erro": "not found"}}

    def prepare(self):
        """Builds the slow bodies now: a client with a short silence limit must
        not see the time their compression takes as a stalled server."""
        for answers in self.routes.values():
            for resp in answers if isinstance(answers, list) else [answers]:
                if isinstance(resp, dict) and "blanks_mb" in resp:
                    self.payload(resp)

    def payload(self, resp):
        key = json.dumps(resp, sort_keys=True)
        with self.lock:
            if key in self.cache:
                return self.cache[key]
        if "body_file" in resp:
            with open(os.path.join(self.world["base_dir"], resp["body_file"]), "rb") as f:
                data = f.read()
        elif "blanks_mb" in resp:
            gz = zlib.compressobj(9, zlib.DEFLATED, 31)
            bloco = b" " * (1 << 20)
            data = gz.compress(resp.get("blanks_prefix", "").encode())
            data += b"".join(gz.compress(bloco) for _ in range(int(resp["blanks_mb"]))) + gz.flush()
            with self.lock:
                self.cache[key] = data
            return data
        elif "raw" in resp:
            data = resp["raw"].encode(resp.get("raw_charset", "utf-8"))
        else:
            data = json.dumps(resp.get("body"), ensure_ascii=False).encode("utf-8")
        enc = resp.get("encoding")
        if enc == "gzip":
            data = gzip.compress(data)
        elif enc == "deflate":
            data = zlib.compress(data)
        elif enc in ("br", "zstd"):
            data = subprocess.run(["brotli", "-c"] if enc == "br" else ["zstd", "-c", "-q"],
                                  input=data, stdout=subprocess.PIPE, check=True).stdout
        with self.lock:
            self.cache[key] = data
        return data


def listening_sockets(net="/proc/net"):
    """The local addresses of the TCP sockets in LISTEN state, as /proc writes them
    (`net`: /proc/PID/net of a process in the namespace to look at)."""
    found = set()
    for path in (net + "/tcp", net + "/tcp6"):
        with open(path) as f:
            next(f)
            for line in f:
                fields = line.split()
                if fields[3] == "0A":
                    found.add(fields[1].upper())
    return found


def listening_address(ip, port):
    """`ip`:`port` in /proc/net/tcp's form: each 32-bit word of the address in host order."""
    packed = socket.inet_pton(socket.AF_INET6 if ":" in ip else socket.AF_INET, ip)
    words = b"".join(packed[i:i + 4][::-1] for i in range(0, len(packed), 4))
    return "%s:%04X" % (words.hex().upper(), port)


def silent_listener(sock):
    """Accepts connections and never says a word."""
    held = []
    while True:
        held.append(sock.accept()[0])


# ------------------------------------------------------------ delayed link

# With "latencia_ms" the machines sit behind a pair of tun devices. The tool's
# side of the link, the machines' side, and where the machines find the
# repository and the API (on the world's lo, never delayed).
LINK_TOOL, LINK_MACHINES = ("192.0.0.8", "fd00:1ab::8"), ("192.0.0.9", "fd00:1ab::9")
REPO_ADDRS = ("192.0.0.10", "fd00:1ab::10")
TUN_TOOL, TUN_MACHINES = "lab-lat0", "lab-lat1"
TUNSETIFF, IFF_TUN, IFF_NO_PI = 0x400454CA, 0x0001, 0x1000


def setns(fd):
    """Moves the calling thread (and what it forks from now on) to a network namespace."""
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.setns(fd, CLONE_NEWNET):
        raise LabError("setns: " + os.strerror(ctypes.get_errno()))


def open_tun(name):
    fd = os.open("/dev/net/tun", os.O_RDWR | os.O_NONBLOCK)
    fcntl.ioctl(fd, TUNSETIFF, struct.pack("16sH22x", name.encode(), IFF_TUN | IFF_NO_PI))
    return fd


def relay(ends, delay):
    """Moves packets between the two tun devices, each held `delay` seconds
    (the order kept in each direction) unless it comes from or goes to the
    repository. A real link's ACKs are late too, which a TCP forwarder that
    answers for the far end would hide."""
    repo = {socket.inet_pton(socket.AF_INET6 if ":" in a else socket.AF_INET, a) for a in REPO_ADDRS}
    queues = {fd: collections.deque() for fd in ends}       # by the device a packet leaves through
    other = dict(zip(ends, reversed(ends)))

    def send(fd, packet):
        try:
            os.write(fd, packet)
        except OSError:
            pass  # a packet lost, as on any link

    while True:
        due = [q[0][0] for q in queues.values() if q]
        wait = max(0.0, min(due) - time.monotonic()) if due else None
        ready = select.select(ends, [], [], wait)[0]
        now = time.monotonic()
        for fd in ready:
            while True:
                try:
                    packet = os.read(fd, 65536)
                except BlockingIOError:
                    break
                addrs = (packet[12:16], packet[16:20]) if packet[0] >> 4 == 4 else (packet[8:24], packet[24:40])
                if repo.intersection(addrs):
                    send(other[fd], packet)
                else:
                    queues[other[fd]].append((now + delay, packet))
        now = time.monotonic()
        for fd, q in queues.items():
            while q and q[0][0] <= now:
                send(fd, q.popleft()[1])


# ------------------------------------------------------------ the world

MS_RDONLY, MS_REMOUNT, MS_BIND, MS_REC, MS_PRIVATE = 1, 32, 4096, 16384, 1 << 18
CLONE_NEWNS, CLONE_NEWUTS, CLONE_NEWNET = 0x20000, 0x4000000, 0x40000000


def enter_appliance(m):
    """In the forked child, before exec'ing its sshd: own mount and UTS
    namespaces, set up with direct system calls (no tool per step keeps ten
    appliances starting fast). Only called before any thread exists."""
    import ctypes
    libc = ctypes.CDLL(None, use_errno=True)

    def check(ret, what):
        if ret != 0:
            err = ctypes.get_errno()
            os.write(2, ("lab: %s: %s\n" % (what, os.strerror(err))).encode())
            raise OSError(err, what)

    b = lambda v: v.encode() if v is not None else None
    if m.get("netns") is not None:   # behind the delayed link
        check(libc.setns(m["netns"], CLONE_NEWNET), "setns")
    check(libc.unshare(CLONE_NEWNS | CLONE_NEWUTS), "unshare")
    check(libc.mount(None, b"/", None, MS_REC | MS_PRIVATE, None), "make / private")
    check(libc.sethostname(m["name"].encode(), len(m["name"])), "sethostname")
    for src, target, fstype, flags, data in m["mounts"]:
        check(libc.mount(b(src), b(target), b(fstype), flags, b(data)), "mount %s" % target)

class World:
    def __init__(self, world, state):
        self.world, self.state = world, state
        self.machines = world["machines"]
        self.appliances = {}          # name -> Popen running the appliance's sshd
        self.command = None
        self.signalled = None
        # The link is there whenever the key is, at 0 ms too: a benchmark then
        # compares delays over the same path.
        self.linked = "latencia_ms" in world
        self.delay = world.get("latencia_ms", 0) / 2000.0     # each way, in seconds
        self.world_ns = self.machines_ns = None
        self.net = "/proc/net"        # where the machines' sockets are listed

    # -- namespace-wide file system and network
    def mount_run(self):
        run("mount", "-t", "tmpfs", "-o", "mode=755", "lab-run", "/run")
        for d, mode in ((RUN, 0o755), (RUN + "/m", 0o755), ("/run/sshd", 0o755), ("/run/lock", 0o1777),
                        (RUN + "/var/up", 0o755), (RUN + "/var/work", 0o755),
                        (RUN + "/root/up", 0o755), (RUN + "/root/work", 0o755)):
            os.makedirs(d, exist_ok=True)
            os.chmod(d, mode)

    def mount_world(self):
        run("mount", "--bind", LOCALE_CACHE, "/usr/lib/locale")
        # Writes to /var (logs, lastlog, docker volumes) and /root (known_hosts)
        # land in the world's tmpfs and vanish with it.
        for top in ("var", "root"):
            run("mount", "-t", "overlay", "lab-" + top, "-o",
                "lowerdir=/%s,upperdir=%s/%s/up,workdir=%s/%s/work" % (top, RUN, top, RUN, top), "/" + top)
        os.makedirs("/var/lib/docker", exist_ok=True)
        run("mount", "-t", "tmpfs", "-o", "mode=711", "lab-docker", "/var/lib/docker")
        os.makedirs(SCRIPTS_DIR, mode=0o755)
        hosts = "127.0.0.1\tlocalhost %s\n::1\tlocalhost ip6-localhost ip6-loopback %s\n" % (
            " ".join(API_NAMES), " ".join(API_NAMES))
        hosts += "".join("%s\t%s\n" % (m["ip"], m["name"]) for m in self.machines if m["lab_address"])
        self.write(RUN + "/hosts", hosts)
        self.write(RUN + "/resolv.conf", "nameserver 127.0.0.1\n")
        run("mount", "--bind", RUN + "/hosts", "/etc/hosts")
        subprocess.run(["mount", "--bind", RUN + "/resolv.conf", "/etc/resolv.conf"],
                       stderr=subprocess.DEVNULL)  # a dangling symlink there is harmless
        if not os.path.exists("/etc/ssl/certs/ca-certificates.crt"):
            raise LabError("/etc/ssl/certs/ca-certificates.crt missing (install ca-certificates)")
        shutil.copy(os.path.join(self.state, "ca.pem"), RUN + "/ca-bundle.crt")
        run("mount", "--bind", RUN + "/ca-bundle.crt", "/etc/ssl/certs/ca-certificates.crt")

    def network(self):
        cmds = ["link set lo up"]
        ips = list(dict.fromkeys(m["ip"] for m in self.machines if m["lab_address"]))
        for ip in ips:
            cmds.append("addr add %s/128 dev lo nodad" % ip if ":" in ip else "addr add %s/32 dev lo" % ip)
        if self.linked:
            cmds = self.delayed_link(cmds, ips)
        run("ip", "-batch", "-", input="\n".join(cmds).encode() + b"\n")

    def delayed_link(self, machine_cmds, ips):
        """The machines' own network namespace, its tun device and the relay
        (forked while no thread exists); returns the world's side of it."""
        self.world_ns = os.open("/proc/thread-self/ns/net", os.O_RDONLY)
        ends = [open_tun(TUN_TOOL)]
        if ctypes.CDLL(None, use_errno=True).unshare(CLONE_NEWNET):
            raise LabError("unshare: " + os.strerror(ctypes.get_errno()))
        self.machines_ns = os.open("/proc/thread-self/ns/net", os.O_RDONLY)
        ends.append(open_tun(TUN_MACHINES))

        def link(dev, addrs):
            # No link-local address, no router solicitations, no DAD: only our packets cross.
            return ["link set dev %s addrgenmode none mtu 1500" % dev, "link set dev %s up" % dev,
                    "addr add %s/32 dev %s" % (addrs[0], dev), "addr add %s/128 dev %s nodad" % (addrs[1], dev)]
        # Each side routes the other's addresses through its tun, so a strict
        # rp_filter finds every packet on the way it would answer by.
        run("ip", "-batch", "-", input="\n".join(machine_cmds + link(TUN_MACHINES, LINK_MACHINES) + [
            "route add 0.0.0.0/0 dev " + TUN_MACHINES, "route add ::/0 dev " + TUN_MACHINES]).encode() + b"\n")
        pid = os.fork()
        if pid == 0:
            try:
                for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
                    signal.signal(sig, signal.SIG_DFL)
                relay(ends, self.delay)
            finally:
                os._exit(1)
        self.net = "/proc/%d/net" % pid     # the relay stays in the machines' namespace
        setns(self.world_ns)
        for fd in ends:
            os.close(fd)
        for m in self.machines:
            m["netns"] = self.machines_ns
        hosts = "127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n"
        hosts += "".join("%s\t%s\n" % (a, " ".join(API_NAMES)) for a in REPO_ADDRS)
        hosts += "".join("%s\t%s\n" % (m["ip"], m["name"]) for m in self.machines if m["lab_address"])
        self.write(RUN + "/hosts-machines", hosts)
        return (["link set lo up"] + ["addr add %s/32 dev lo" % REPO_ADDRS[0],
                                      "addr add %s/128 dev lo nodad" % REPO_ADDRS[1]] + link(TUN_TOOL, LINK_TOOL)
                + ["route add %s dev %s src %s" % (ip, TUN_TOOL, LINK_TOOL[":" in ip])
                   for ip in list(LINK_MACHINES) + ips])

    # -- keys, certificates, passwords
    def credentials(self):
        s, tls = self.state, RUN + "/tls"
        os.makedirs(tls, mode=0o700)
        ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes"]
        jobs = [subprocess.Popen(["openssl", "req", "-x509", *ec, "-keyout", tls + "/ca.key",
                                  "-out", s + "/ca.pem", "-days", "30", "-subj", "/CN=Zelvo Lab Test CA"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)]
        for kind, cn in (("right", API_NAMES[0]), ("wrong", WRONG_NAME)):
            jobs.append(subprocess.Popen(["openssl", "req", "-new", *ec, "-keyout", "%s/%s.key" % (tls, kind),
                                          "-out", "%s/%s.csr" % (tls, kind), "-subj", "/CN=" + cn],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE))
        for m in self.machines:
            if m["sshd"] and not m["silent"]:
                d = self.mdir(m)
                os.makedirs(d)
                jobs.append(subprocess.Popen(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", m["name"],
                                              "-f", d + "/ssh_host_ed25519_key"], stderr=subprocess.PIPE))
        secrets = [p for m in self.machines for p in (m["password"], m["root_password"])]
        hashes = run("openssl", "passwd", "-6", "-stdin", input="".join(p + "\n" for p in secrets).encode())
        hashes = iter(hashes.decode().split())
        for m in self.machines:
            m["hashes"] = (next(hashes), next(hashes))
        for job in jobs:
            if job.wait():
                raise LabError("%s failed: %s" % (job.args[0], job.stderr.read().decode()))
        for kind, names in (("right", API_NAMES), ("wrong", (WRONG_NAME,))):
            self.write("%s/%s.ext" % (tls, kind), "subjectAltName=%s\nbasicConstraints=CA:FALSE\n"
                       "extendedKeyUsage=serverAuth\n" % ",".join("DNS:" + n for n in names))
            jobs.append(subprocess.Popen(["openssl", "x509", "-req", "-in", "%s/%s.csr" % (tls, kind),
                                          "-CA", s + "/ca.pem", "-CAkey", tls + "/ca.key", "-set_serial",
                                          str(int(time.time() * 1000) + len(kind)), "-days", "30",
                                          "-extfile", "%s/%s.ext" % (tls, kind),
                                          "-out", "%s/%s.pem" % (tls, kind)],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE))
        for job in jobs[-2:]:
            if job.wait():
                raise LabError("openssl x509 failed: %s" % job.stderr.read().decode())

    # -- appliances
    def mdir(self, m):
        return "%s/m/%s" % (RUN, m["name"])

    @staticmethod
    def write(path, text, mode=0o644, owner=None):
        # Never write through an existing entry: in a command folder it is a
        # symlink to a system binary.
        if os.path.lexists(path):
            os.unlink(path)
        with open(path, "x", encoding="utf-8") as f:
            f.write(text)
        os.chmod(path, mode)
        if owner:
            os.chown(path, *owner)

    def user_ids(self):
        with open("/etc/passwd") as f:
            used = {int(line.split(":")[2]) for line in f if line.count(":") >= 6}
        uid = 2000
        while uid in used:
            uid += 1
        return uid

    def shared_commands(self):
        """Links to the system's commands, minus its python; every appliance's PATH
        is this folder overlaid with the appliance's own python3 and su."""
        os.makedirs(RUN + "/commands")
        for src in ("/usr/bin", "/usr/sbin", "/bin", "/sbin"):
            if os.path.islink(src):
                continue
            for name in os.listdir(src):
                link = os.path.join(RUN, "commands", name)
                if not name.startswith(("python", "pydoc", "pip")) and not os.path.lexists(link):
                    os.symlink(os.path.join(src, name), link)

    def own_commands(self, m, d):
        os.makedirs(d + "/own")
        os.makedirs(d + "/bin")
        if m["python"] is not None:
            kill = ""
            if m["kill_on_python"]:
                kill = ("# On this appliance python3 takes the SSH connection down with it.\n"
                        "listener=$(cat %s/sshd.pid 2>/dev/null)\nvictims=\np=$PPID\n"
                        "while [ \"${p:-1}\" -gt 1 ]; do\n"
                        "  if [ \"$(cat /proc/$p/comm)\" = sshd ] && [ \"$p\" != \"$listener\" ]; then"
                        " victims=\"$victims $p\"; fi\n"
                        "  p=$(awk '/^PPid:/ {print $2}' /proc/$p/status)\ndone\n"
                        "kill -9 $victims\nexit 137\n" % d)
            script = ("#!/bin/bash\n%sif [ \"$1\" = --version ] || [ \"$1\" = -V ]; then\n"
                      "  echo %s\n  exit 0\nfi\nexec /usr/bin/python3 \"$@\"\n"
                      % (kill, shlex.quote("Python " + m["python"])))
            self.write(d + "/own/python3", script, 0o755)
            minor = ".".join(str(m["python"]).split(".")[:2])
            if minor != "3":
                os.symlink("python3", d + "/own/python" + minor)
        for name in m["hidden"]:
            # An overlay whiteout: the system's command is not there.
            os.mknod(d + "/own/" + name, 0o20000, os.makedev(0, 0))
        for name, script in m["commands"].items():
            self.write(d + "/own/" + name, script, 0o755)
        if m["su_delay"]:
            self.write(d + "/own/su", "#!/bin/sh\n# Slow to switch users.\nsleep %s\nexec %s \"$@\"\n"
                       % (float(m["su_delay"]), os.path.realpath(shutil.which("su"))), 0o755)

    def prepare(self, m, base, uid):
        d, user = self.mdir(m), m["user"]
        self.own_commands(m, d)
        passwd, shadow, group = ([l for l in base[f] if l.split(":")[0] != user]
                                 for f in ("passwd", "shadow", "group"))
        home = "/home/" + user
        passwd.append("%s:x:%d:%d:Suporte Lab:%s:%s\n" % (user, uid, uid, home, m["shell"]))
        shadow = [("root:%s:%s" % (m["hashes"][1], l.split(":", 2)[2])) if l.startswith("root:") else l
                  for l in shadow]
        shadow.append("%s:%s:19000:0:99999:7:::\n" % (user, m["hashes"][0]))
        group.append("%s:x:%d:\n" % (user, uid))
        # Login shells, root's through `su -` too, end up with the appliance's commands.
        profile = base["profile"] + ["\n# This appliance's commands and language.\n",
                                     "PATH=%s/bin\nexport PATH\nexport LANG=%s\n" % (d, LANG)]
        os.makedirs(d + "/etc")
        for name, lines, mode in (("passwd", passwd, 0o644), ("shadow", shadow, 0o640),
                                  ("group", group, 0o644), ("profile", profile, 0o644)):
            self.write("%s/etc/%s" % (d, name), "".join(lines), mode)
        os.makedirs(d + "/home" + home[5:], mode=0o755)
        os.chown(d + "/home" + home[5:], uid, uid)
        os.makedirs(d + "/root", mode=0o700)
        if os.path.exists("/usr/share/base-files/dot.bashrc"):
            shutil.copy("/usr/share/base-files/dot.bashrc", d + "/root/.bashrc")
        profile = ["# Login environment of this appliance.",
                   "export PATH=%s/bin" % d, "export LANG=" + LANG, "PS1='\\u@\\h:\\w\\$ '"]
        if m["greeting"] is not None:
            profile.append("printf '%%s\\n' %s" % shlex.quote(m["greeting"]))
        if m["banner_bytes"]:
            n = int(m["banner_bytes"])
            line = "Bem-vindo ao servidor de atualizacao do laboratorio. Nao desligue!!\n"   # 70 bytes
            self.write(d + "/banner.txt", (line * (n // len(line) + 1))[:n])
            profile.append("cat %s/banner.txt" % d)
        profile += m["profile"]
        if m["shell_exits"]:
            profile.append("exit 0")
        # bash reads .bash_profile, zsh .zprofile; the other POSIX login
        # shells read .profile (tcsh and fish read neither: their worlds give
        # them files of their own through "home").
        rc = {"bash": ".bash_profile", "zsh": ".zprofile"}.get(os.path.basename(m["shell"]), ".profile")
        self.write(d + "/home" + home[5:] + "/" + rc, "\n".join(profile) + "\n", 0o644, (uid, uid))
        for fname, content in m["home"].items():
            path = d + "/home" + home[5:] + "/" + fname
            top = d + "/home" + home[5:]
            for sub in os.path.dirname(fname).split("/") if os.path.dirname(fname) else []:
                top = os.path.join(top, sub)
                if not os.path.isdir(top):
                    os.mkdir(top)
                    os.chown(top, uid, uid)
            self.write(path, content, 0o644, (uid, uid))
        for fname in m["fifos"]:
            path = d + "/home" + home[5:] + "/" + fname
            os.mkfifo(path, 0o644)
            os.chown(path, uid, uid)
        kbdint = m["auth"] == "keyboard-interactive"
        if kbdint:
            # PAM asks for the password; only what a namespace allows.
            self.write(d + "/pam-sshd", "auth required pam_unix.so\naccount required pam_unix.so\n"
                       "session required pam_permit.so\n")
        listen = "[%s]:%s" % (m["ip"], m["port"]) if ":" in m["ip"] else "%s:%s" % (m["ip"], m["port"])
        self.write(d + "/sshd_config", "\n".join([
            "ListenAddress " + listen, "HostKey %s/ssh_host_ed25519_key" % d, "PidFile %s/sshd.pid" % d,
            "UsePAM " + ("yes" if kbdint else "no"),
            "PasswordAuthentication " + ("no" if kbdint else "yes"),
            "KbdInteractiveAuthentication " + ("yes" if kbdint else "no"),
            "PermitRootLogin no", "PubkeyAuthentication no", "PrintMotd no", "PrintLastLog no",
            "UseDNS no", "MaxStartups 100", "LogLevel INFO",
            "Subsystem sftp /usr/lib/openssh/sftp-server", *m["sshd_config"], ""]))
        # Each appliance sees its own accounts, home, /root, /tmp and scripts folder:
        # (source, target, fs type, flags, options) for mount(2).
        steps = [("%s/etc/%s" % (d, f), "/etc/" + f, None, MS_BIND, None)
                 for f in ("passwd", "shadow", "group", "profile")]
        if self.linked:
            steps.append((RUN + "/hosts-machines", "/etc/hosts", None, MS_BIND, None))
        if kbdint:
            steps.append((d + "/pam-sshd", "/etc/pam.d/sshd", None, MS_BIND, None))
        steps += [(d + "/home", "/home", None, MS_BIND, None), (d + "/root", "/root", None, MS_BIND, None),
                  ("lab-bin", d + "/bin", "overlay", 0, "lowerdir=%s/own:%s/commands" % (d, RUN))]
        if m["su_english"]:
            for lang in ("pt_BR", "pt"):
                catalogues = "/usr/share/locale/%s/LC_MESSAGES" % lang
                if os.path.isdir(catalogues):
                    steps.append(("lab-english", catalogues, "tmpfs", 0, "mode=755"))
        if m["scripts"] is None:
            steps.append(("lab-nodocker", "/var/lib/docker", "tmpfs", 0, "mode=711"))
        else:
            steps.append((self.scripts_host_dir(m), SCRIPTS_DIR, None, MS_BIND, None))
        steps.append(("lab-tmp", "/tmp", "tmpfs", 0, "mode=1777"))   # hides the state dir, bound above
        # Commands run as root here act on the real host: keep its files out of reach.
        steps.append((None, "/", None, MS_REMOUNT | MS_BIND | MS_RDONLY, None))
        m["mounts"] = steps

    def scripts_host_dir(self, m):
        return os.path.join(self.state, "machines", m["name"], "scripts")

    def state_dirs(self):
        for m in self.machines:
            os.makedirs(os.path.join(self.state, "machines", m["name"]))
            if m["scripts"] is not None:
                sdir = self.scripts_host_dir(m)
                os.makedirs(sdir, mode=0o755)
                if m["disk_full"]:
                    run("mount", "-t", "tmpfs", "-o", "size=64k,mode=755", "lab-full", sdir)
                mode = int(m["files_mode"], 8) if isinstance(m["files_mode"], str) else m["files_mode"]
                owner = tuple(int(x) for x in str(m["files_owner"]).split(":"))
                for fname, content in m["scripts"].items():
                    path = os.path.join(sdir, fname)
                    os.makedirs(os.path.dirname(path), exist_ok=True)
                    self.write(path, content, mode, owner)
                for fname, target in m["links"].items():
                    os.symlink(target, os.path.join(sdir, fname))
                if m["disk_full"]:
                    fd = os.open(os.path.join(sdir, ".enchimento"), os.O_WRONLY | os.O_CREAT, 0o600)
                    try:
                        while os.write(fd, b"\0" * 4096):
                            pass
                    except OSError:
                        pass
                    finally:
                        os.close(fd)

    def start_appliances(self):
        base = {}
        for f in ("passwd", "shadow", "group", "profile"):
            with open("/etc/" + f) as fh:
                base[f] = fh.readlines()
        uid = self.user_ids()
        self.shared_commands()
        for m in self.machines:
            if m["sshd"] and not m["silent"]:
                self.prepare(m, base, uid)
                # Opened before entering the appliance: an open file on its copy
                # of / would keep that from turning read-only.
                log_path = os.path.join(self.state, "machines", m["name"], "sshd.log")
                with open(log_path, "ab") as log_file:
                    try:
                        self.appliances[m["name"]] = subprocess.Popen(
                            ["/usr/sbin/sshd", "-D", "-e", "-f", self.mdir(m) + "/sshd_config"],
                            preexec_fn=lambda m=m: enter_appliance(m), stdin=subprocess.DEVNULL,
                            stdout=log_file, stderr=log_file, start_new_session=True)
                    except subprocess.SubprocessError:
                        raise LabError("appliance %s could not be set up; see %s" % (m["name"], log_path))

    def start_servers(self):
        api = Api(self.world, self.state)
        api.prepare()
        kind = "wrong" if self.world.get("api", {}).get("wrong_cert") else "right"
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain("%s/tls/%s.pem" % (RUN, kind), "%s/tls/%s.key" % (RUN, kind))
        addrs = ["127.0.0.1", "::1"] + (list(REPO_ADDRS) if self.linked else [])
        for addr in addrs:
            server = TLSServer((addr, 443), socket.AF_INET6 if ":" in addr else socket.AF_INET, ctx, api)
            threading.Thread(target=server.serve_forever, daemon=True).start()
        if self.machines_ns is not None:
            setns(self.machines_ns)    # the silent machines are behind the link too
        for m in self.machines:
            if m["silent"]:
                family = socket.AF_INET6 if ":" in m["ip"] else socket.AF_INET
                sock = socket.socket(family, socket.SOCK_STREAM)
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                sock.bind((m["ip"], int(m["port"])))
                sock.listen(64)
                threading.Thread(target=silent_listener, args=(sock,), daemon=True).start()
        if self.world_ns is not None:
            setns(self.world_ns)

    def wait_ready(self, timeout=120):
        pending = {m["name"]: m for m in self.machines if m["name"] in self.appliances}
        deadline = time.monotonic() + timeout
        while pending:
            listening = listening_sockets(self.net)
            for name, m in list(pending.items()):
                if self.appliances[name].poll() is not None:
                    raise LabError("sshd of %s died; see %s" % (name, os.path.join(
                        self.state, "machines", name, "sshd.log")))
                # Read from the kernel's socket table rather than by connecting:
                # a probe's connection would leave traces in the sshd log that a
                # test could take for the program's.
                if listening_address(m["ip"], int(m["port"])) in listening:
                    del pending[name]
            if pending and time.monotonic() > deadline:
                raise LabError("appliances not answering: " + ", ".join(pending))
            if pending:
                time.sleep(0.02)

    def build(self):
        t = time.monotonic()
        for step in (self.state_dirs, self.mount_run,
                     self.credentials,      # before mount_world, which binds ca.pem as the CA bundle
                     self.mount_world, self.network, self.start_appliances, self.start_servers,
                     self.wait_ready, self.start_syslog):
            step()
            if os.environ.get("LAB_TIMING"):
                log("%-16s %.3f s" % (step.__name__, time.monotonic() - t))

    def start_syslog(self):
        """A syslog socket at /dev/log for the command (the appliances have
        their own mounts by now): /dev is overlaid in the world's tmpfs, its
        pts and shm put back on top, and every record that arrives becomes a
        line of <state>/syslog.log."""
        if not self.world.get("syslog"):
            return
        for d in ("dev/up", "dev/work", "dev/pts", "dev/shm"):
            os.makedirs(RUN + "/" + d)
        for d in ("pts", "shm"):
            run("mount", "--rbind", "/dev/" + d, RUN + "/dev/" + d)
        run("mount", "-t", "overlay", "lab-dev", "-o",
            "lowerdir=/dev,upperdir=%s/dev/up,workdir=%s/dev/work" % (RUN, RUN), "/dev")
        for d in ("pts", "shm"):
            run("mount", "--rbind", RUN + "/dev/" + d, "/dev/" + d)
        if os.path.lexists("/dev/log"):
            os.unlink("/dev/log")
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        sock.bind("/dev/log")
        os.chmod("/dev/log", 0o666)
        out = open(os.path.join(self.state, "syslog.log"), "ab")

        def receive():
            while True:
                out.write(sock.recv(1 << 16).rstrip(b"\0\n") + b"\n")
                out.flush()
        threading.Thread(target=receive, daemon=True).start()

    # -- running the command
    def on_signal(self, sig, frame):
        if self.signalled is None:
            self.signalled = time.monotonic()
        if self.command is not None:
            try:
                os.kill(self.command.pid, sig)
            except ProcessLookupError:
                pass

    def reap_orphans(self):
        """As pid 1, collect processes whose parents died (e.g. killed sessions)."""
        for pid in os.listdir("/proc"):
            if not pid.isdigit() or int(pid) == self.command.pid:
                continue
            try:
                with open("/proc/%s/stat" % pid) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                if fields[0] == "Z" and fields[1] == "1":
                    os.waitpid(int(pid), os.WNOHANG)
            except (OSError, IndexError):
                pass

    def run_command(self, argv):
        env = dict(os.environ, LAB_STATE=self.state)
        try:
            self.command = subprocess.Popen(argv, env=env)
        except OSError as e:
            log("cannot run %s: %s" % (argv[0], e))
            return 127
        while True:
            try:
                rc = self.command.wait(timeout=0.5)
                break
            except subprocess.TimeoutExpired:
                self.reap_orphans()
                if self.signalled is not None and time.monotonic() - self.signalled > 5:
                    self.command.kill()
        return rc if rc >= 0 else 128 - rc


def inner_main(world_path, state, argv):
    """Runs as pid 1 of the world's namespaces; everything dies with it."""
    cwd = os.getcwd()
    try:
        w = World(load_world(world_path), state)
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(sig, w.on_signal)
        w.build()
        os.chdir(cwd)   # re-resolve through the overlays
    except Exception as e:          # whatever it was, the world is not there
        with open(os.path.join(state, "setup-failed"), "w") as f:
            f.write(str(e))
        log("world setup failed: %s" % e)
        return 2
    if w.signalled is not None:
        return 130
    return w.run_command(argv)


# ------------------------------------------------------------ outside the world

def remove_stale_states():
    """State dirs of labs that were killed outright (kept ones have no lab.pid)."""
    tmp = tempfile.gettempdir()
    for name in os.listdir(tmp):
        pidfile = os.path.join(tmp, name, "lab.pid")
        if name.startswith(STATE_PREFIX) and os.path.exists(pidfile):
            try:
                with open(pidfile) as f:
                    os.kill(int(f.read()), 0)
            except ProcessLookupError:
                shutil.rmtree(os.path.join(tmp, name), ignore_errors=True)
            except (OSError, ValueError):
                pass


def set_parent_death_signal():
    """If lab.py itself is killed, unshare follows, and with it the world."""
    import ctypes
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)   # PR_SET_PDEATHSIG; unshare ignores SIGTERM


def main(args):
    if args[:1] == ["--inner"]:
        return inner_main(args[1], args[2], args[4:])
    if not args or args[0] in ("-h", "--help"):
        print(__doc__.strip())
        return 0 if args else 2
    if len(args) < 3 or args[1] != "--":
        log("usage: lab.py WORLD.json -- COMMAND [ARGS...]")
        return 2
    if os.geteuid() != 0:
        # 77: the status ctest reads as "skipped" (SKIP_RETURN_CODE).
        log("skipped: must run as root (it mounts, builds namespaces and starts sshd)")
        return 77
    missing = [t for t in ("unshare", "mount", "ip", "openssl", "ssh-keygen", "localedef")
               if shutil.which(t) is None] + [t for t in ("/usr/sbin/sshd",) if not os.path.exists(t)]
    if missing:
        log("missing tools: %s (install util-linux iproute2 openssl openssh-server locales)"
            % ", ".join(missing))
        return 2
    try:
        load_world(args[0])
        ensure_locale()
    except LabError as e:
        log(str(e))
        return 2
    except (TypeError, ValueError, AttributeError, KeyError) as e:
        log("bad world %s: %r" % (args[0], e))
        return 2
    remove_stale_states()
    world = os.path.abspath(args[0])
    # The system python starts fastest; the lab needs nothing else.
    python = "/usr/bin/python3" if os.access("/usr/bin/python3", os.X_OK) else sys.executable
    proc = None

    def forward(sig, frame):
        # The world's init tells the command; the kernel does the rest.
        try:
            with open("/proc/%d/task/%d/children" % (proc.pid, proc.pid)) as f:
                for pid in f.read().split():
                    os.kill(int(pid), signal.SIGTERM if sig == signal.SIGHUP else sig)
        except (OSError, AttributeError):
            pass

    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, forward)
    state = tempfile.mkdtemp(prefix=STATE_PREFIX)
    try:
        os.chmod(state, 0o755)
        with open(os.path.join(state, "lab.pid"), "w") as f:
            f.write(str(os.getpid()))
        proc = subprocess.Popen(["unshare", "--net", "--mount", "--pid", "--fork", "--mount-proc",
                                 "--propagation", "private", "--kill-child",
                                 python, os.path.abspath(__file__), "--inner", world, state,
                                 "--", *args[2:]], preexec_fn=set_parent_death_signal)
        rc = proc.wait()
        setup_failed = os.path.exists(os.path.join(state, "setup-failed"))
    finally:
        if os.environ.get("LAB_KEEP") == "1":
            os.unlink(os.path.join(state, "lab.pid"))
            log("state kept in " + state)
        else:
            shutil.rmtree(state, ignore_errors=True)
    if rc < 0:
        rc = 128 - rc
    if setup_failed:
        return 2
    if rc:
        log("command exited with status %d" % rc)
    return rc


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
