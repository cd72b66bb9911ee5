#!/usr/bin/env python3
"""Self-test of the lab: builds small worlds with lab/lab.py and checks them
from inside (ssh, su, wget, curl) and from outside (exit status, teardown).

Run as root: python3 tests/lab/selftest.py   (exit 0 = all good, 77 = not root)
"""
import json
import os
import random
import re
import socket
import subprocess
import sys
import tempfile
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
LAB = os.path.normpath(os.path.join(HERE, "..", "..", "lab", "lab.py"))
SCRIPTS = "/var/lib/docker/volumes/korvax_externalscripts/_data"
SSH_OPTS = ["-o", "StrictHostKeyChecking=no", "-o", "UserKnownHostsFile=/dev/null",
            "-o", "LogLevel=ERROR", "-o", "ConnectTimeout=5", "-tt"]

failures = []
passed = 0


def check(ok, what, detail=""):
    global passed
    if ok:
        passed += 1
        print("ok   " + what, flush=True)
    else:
        failures.append(what)
        print("FAIL " + what + ("\n----\n%s\n----" % detail if detail else ""), flush=True)


def world(tag):
    """Machine names carry a random tag, so our processes are told apart from
    those of other labs running at the same time."""
    return {
        "machines": [
            {"name": tag + "-v4", "ip": "192.0.0.16", "python": "3.8.10",
             "scripts": {"velho.py": "print('velho')\n"},
             "customer": {"numero": 1021, "nome": "Hospital Central"}, "observacao": "extra"},
            {"name": tag + "-v6", "ip": "3fff::10", "python": "3.6.9", "root_password": "raiz6",
             "user": "admin", "password": "s3nh@ vm", "su_delay": 1},
            {"name": tag + "-p2222", "ip": "192.0.0.17", "port": 2222, "python": None, "scripts": None,
             "greeting": "Senha do dia: 1234", "banner_bytes": 300},
            {"name": tag + "-kill", "ip": "192.0.0.18", "kill_on_python": True},
            {"name": tag + "-exits", "ip": "192.0.0.19", "shell_exits": True, "listed": False},
            {"name": tag + "-silent", "ip": "192.0.0.20", "silent": True},
            {"name": tag + "-off", "ip": "192.0.0.21", "sshd": False},
        ],
        "extra_acessos": [{"numero": 7, "produto": [{"nome": "Korvax", "maquinas": [
            {"tipo": "manager", "acesso": "ssh suporte@10.9.8.7 -p 22", "senhaVm": "a", "senhaRoot": "b"}]}]}],
        "repository": {"missing": ["python3.8.10/coleta/ausente.py"]},
        "api": {"routes": {
            "GET /gz": {"raw": "ola gzip", "encoding": "gzip"},
            "GET /df": {"raw": "ola deflate", "encoding": "deflate"},
            "GET /br": {"raw": "ola br", "encoding": "br"},
            "GET /zst": {"raw": "ola zstd", "encoding": "zstd"},
            "GET /corte": {"raw": "0123456789", "truncate": 4}}},
    }


def session(ip, port, user, password, lines, timeout=30):
    """An interactive login shell on a pty, fed LINES as typed input."""
    p = subprocess.run(["sshpass", "-p", password, "ssh", *SSH_OPTS, "-p", str(port), "%s@%s" % (user, ip)],
                       input="".join(l + "\n" for l in lines).encode(), stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, timeout=timeout)
    return p.returncode, p.stdout.decode("utf-8", errors="replace")


def curl(*args):
    p = subprocess.run(["curl", "-sS", *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=30)
    return p.returncode, p.stdout.decode("utf-8", errors="replace"), p.stderr.decode(errors="replace")


def inside(tag, report):
    """Runs inside the world."""
    state = os.environ.get("LAB_STATE", "")
    with open(report, "w") as f:
        json.dump({"state": state}, f)
    check(os.path.isfile(os.path.join(state, "ca.pem")), "LAB_STATE holds ca.pem")
    procs = subprocess.run(["pgrep", "-f", "/run/lab/m/%s-" % tag], stdout=subprocess.PIPE).stdout.split()
    check(len(procs) == 5, "five appliance sshds run", procs)

    # IPv4 appliance: su, listing, python version, remote wget into the scripts folder.
    rc, out = session("192.0.0.16", 22, "suporte", "suporte", [
        'printf "root\\n" | su -c "ls -lah %s/"' % SCRIPTS,
        'printf "root\\n" | su -c "python3 --version"',
        'printf "root\\n" | su -c "wget -q -O %s/disco.py '
        'https://scripts.zelvo.example/python3.8.10/coleta/disco.py; echo WGET-RC-\\$?"' % SCRIPTS,
        'printf "root\\n" | su -c "wget -q -O /tmp/x '
        'https://scripts.zelvo.example/python3.8.10/coleta/ausente.py; echo MISSING-RC-\\$?"',
        'printf "root\\n" | su -c "touch /usr/lab-escape"',
        'echo PATH-IS-$PATH',
        'printf "root\\n" | su - -c "python3 --version; echo LOGIN-PATH-\\$PATH"',
        "exit"])
    check(re.search(r"Senha: total .*\n(.*\n)*.*velho\.py", out) is not None,
          "v4: su shows a Senha prompt, then the listing with the initial file", out)
    check("Senha: Python 3.8.10" in out, "v4: su -c python3 --version gives the machine's version", out)
    check("WGET-RC-0" in out, "v4: remote wget downloads over verified TLS", out)
    check("MISSING-RC-8" in out, "v4: a missing repository path fails wget (server error 8)", out)
    check("somente para leitura" in out and not os.path.exists("/usr/lab-escape"),
          "v4: the host's files are read-only for the appliance", out)
    check(re.search(r"PATH-IS-/run/lab/m/[^:\s]+/bin\s", out) is not None, "v4: PATH is one folder", out)
    check(re.search(r"suporte@%s-v4:~\$ " % tag, out) is not None, "v4: bash prompt ends in '$ '", out)
    check(out.count("Senha: Python 3.8.10") == 2 and "LOGIN-PATH-/run/lab/m/%s-v4/bin" % tag in out,
          "v4: su - (login shell) sees the machine's python3 too", out)
    try:
        with open(os.path.join(state, "machines", tag + "-v4", "scripts", "disco.py")) as f:
            got = f.read()
    except OSError as e:
        got = str(e)
    check(got == "# script coleta/disco.py for python 3.8.10\n",
          "v4: the downloaded file reached the host-side scripts folder", got)

    # IPv6 appliance, other user, slow su, wrong root password.
    rc, out = session("3fff::10", 22, "admin", "s3nh@ vm", [
        'S=$(date +%s%N); printf "raiz6\\n" | su -c "python3 --version"; '
        'echo SU-TOOK-$(( ($(date +%s%N) - S) / 100000000 ))-DS',
        'printf "errada\\n" | su -c id',
        "exit"])
    check("Senha: Python 3.6.9" in out, "v6: login as admin, su, python 3.6.9", out)
    took = re.search(r"SU-TOOK-(\d+)-DS", out)
    check(took is not None and int(took.group(1)) >= 10, "v6: su_delay slows su down by 1 s", out)
    check("Senha: su: Falha de autenticação" in out, "v6: wrong root password fails in Portuguese", out)

    # Port 2222: no scripts folder, no python3, greeting and banner.
    rc, out = session("192.0.0.17", 2222, "suporte", "suporte", [
        'printf "root\\n" | su -c "ls -lah %s/"' % SCRIPTS,
        'printf "root\\n" | su -c "python3 --version"',
        "exit"])
    check("Arquivo ou diretório inexistente" in out, "p2222: missing scripts folder", out)
    check("python3: comando não encontrado" in out, "p2222: no python3 on this machine", out)
    check("Senha do dia: 1234" in out and out.count("Bem-vindo") >= 4, "p2222: greeting and banner", out)

    # A connection that dies while python3 runs; a login shell that exits at once.
    rc, out = session("192.0.0.18", 22, "suporte", "suporte", [
        'printf "root\\n" | su -c "python3 --version"', "echo DEPOIS-$((20+22))", "exit"])
    check(rc == 255 and "DEPOIS-42" not in out and "Python 3" not in out,
          "kill: python3 kills the connection (ssh rc %s)" % rc, out)
    rc, out = session("192.0.0.19", 22, "suporte", "suporte", ["echo AINDA-$((20+22))"])
    check("AINDA-42" not in out, "exits: the login shell exits at once", out)

    # A host that accepts but never speaks; a port with nothing behind it.
    with socket.create_connection(("192.0.0.20", 22), timeout=2) as s:
        s.settimeout(1)
        try:
            data = s.recv(10)
        except socket.timeout:
            data = None
    check(data is None, "silent: accepts and never sends a byte", data)
    try:
        socket.create_connection(("192.0.0.21", 22), timeout=2).close()
        refused = False
    except ConnectionRefusedError:
        refused = True
    check(refused, "off: nothing listens")

    # The API: login with default verification, and what the log keeps of it.
    body = '{"usuario": "joao", "senha": "x"}'
    rc, out, err = curl("-X", "POST", "-H", "Content-Type: application/json", "-H", "X-Teste: 1",
                        "-d", body, "https://api.zelvo.example/login")
    check(rc == 0 and json.loads(out or "null") == {"token": "tok-lab-123"}, "curl POST /login gets the token",
          out + err)
    with open(os.path.join(state, "requests.jsonl")) as f:
        log = [json.loads(line) for line in f]
    logins = [r for r in log if r["method"] == "POST" and r["path"] == "/login"]
    check(len(logins) == 1 and logins[0]["body"] == body
          and ["Content-Type", "application/json"] in logins[0]["headers"]
          and [h[0] for h in logins[0]["headers"] if h[0] in ("Host", "X-Teste", "Content-Type")]
          == ["Host", "Content-Type", "X-Teste"],
          "request log keeps method, path, headers in order and body", logins)
    repo = [r for r in log if r["path"].startswith("/python3.8.10/coleta/")]
    check(len(repo) == 2 and all(r["method"] == "GET" for r in repo), "request log holds the wget requests", repo)

    rc, out, err = curl("https://painel.zelvo.example/acessos")
    try:
        acessos = json.loads(out)
    except ValueError:
        acessos = None
    check(isinstance(acessos, list) and [c["numero"] for c in acessos] == [1021, 1000, 7],
          "acessos: customers in first-seen order, extra entries last", out)
    if isinstance(acessos, list) and len(acessos) == 3:
        m1 = acessos[0]["produto"][0]["maquinas"][0]
        check(m1 == {"tipo": "manager", "ip": "192.0.0.16", "sshPort": 22, "user": "suporte",
                     "senhaVm": "suporte", "senhaRoot": "root", "observacao": "extra"},
              "acessos: machine entry fields", m1)
        others = [(m["ip"], m["sshPort"], m["user"], m["senhaVm"], m["senhaRoot"])
                  for m in acessos[1]["produto"][0]["maquinas"]]
        check(others[:2] == [("3fff::10", 22, "admin", "s3nh@ vm", "raiz6"),
                             ("192.0.0.17", 2222, "suporte", "suporte", "root")]
              and len(others) == 5 and "192.0.0.19" not in [o[0] for o in others],
              "acessos: other machines, the unlisted one left out", others)

    rc, out, err = curl("-o", "/dev/null", "-w", "%{http_code}",
                        "https://scripts.zelvo.example/python3.8.10/coleta/ausente.py")
    check(out == "404", "repository: listed missing path answers 404", out)
    rc, out, err = curl("https://scripts.zelvo.example/python3.9.2/a%20b/c.py")
    check(out == "# script a b/c.py for python 3.9.2\n", "repository: body names version and decoded path", out)
    for route, text in (("gz", "ola gzip"), ("df", "ola deflate"), ("br", "ola br"), ("zst", "ola zstd")):
        rc, out, err = curl("--compressed", "https://api.zelvo.example/" + route)
        check(out == text, "encoding %s decodes" % route, out + err)
        rc, raw, err = curl("https://api.zelvo.example/" + route)
        check(raw != text, "encoding %s really encodes" % route, raw)
    rc, out, err = curl("https://api.zelvo.example/corte")
    check(rc == 18 and out == "0123", "truncate: the body stops short (curl rc %s)" % rc, out + err)


def lab(world_obj, tmp, *command, name="world.json"):
    path = os.path.join(tmp, name)
    with open(path, "w") as f:
        json.dump(world_obj, f)
    return subprocess.run([sys.executable, LAB, path, "--", *command], stderr=subprocess.PIPE, timeout=180)


def host_mounts():
    with open("/proc/self/mounts") as f:
        return sorted(f.read().splitlines())


def outside():
    if os.geteuid() != 0:
        print("selftest: needs root (namespaces, mounts, sshd)", file=sys.stderr)
        return 77
    tag = "st%05d" % random.randrange(100000)
    mounts = host_mounts()
    started = time.monotonic()
    with tempfile.TemporaryDirectory() as tmp:
        report = os.path.join(tmp, "state-path")
        p = lab(world(tag), tmp, sys.executable, os.path.abspath(__file__), "--inside", tag, report)
        check(p.returncode == 0, "the checks inside the world passed (lab rc %s)" % p.returncode,
              p.stderr.decode(errors="replace"))
        try:
            with open(report) as f:
                seen = json.load(f)
        except (OSError, ValueError):
            seen = {"state": "", "failed": ["the world ran the checker"]}
        global passed
        passed += seen.get("passed", 0)
        failures.extend("inside: " + f for f in seen.get("failed", []))
        state = seen["state"]
        check(state.startswith("/") and not os.path.exists(state), "state dir removed at teardown", state)
        left = subprocess.run(["pgrep", "-af", tag], stdout=subprocess.PIPE).stdout.decode()
        check(left == "", "no lab process left after teardown", left)
        check(host_mounts() == mounts, "no mount left after teardown")
        check(not os.path.exists("/var/lib/docker/volumes/korvax_externalscripts"),
              "nothing left under /var/lib/docker on the host")

        p = lab({}, tmp, "false")
        check(p.returncode == 1 and b"lab: command exited with status 1" in p.stderr,
              "'-- false' exits 1 and says so", p.stderr)
        p = lab({}, tmp, "sh", "-c", "exit 7")
        check(p.returncode == 7, "the command's status comes through (7)", p.returncode)
        p = lab({}, tmp, "true")
        check(p.returncode == 0 and p.stderr == b"", "a successful command exits 0 quietly", p.stderr)
        p = lab({"api": {"wrong_cert": True}}, tmp, "curl", "-sS", "-o", "/dev/null", "https://api.zelvo.example/acessos")
        check(p.returncode == 60 and b"subject name" in p.stderr, "wrong_cert fails hostname verification",
              p.stderr)
        p = lab({"machines": [{"ip": "10.0.0.5"}]}, tmp, "true")
        check(p.returncode == 2 and b"outside" in p.stderr, "a private address for an sshd is refused", p.stderr)
    print("selftest: %d passed, %d failed (%.1f s)" % (passed, len(failures), time.monotonic() - started))
    return 1 if failures else 0


if __name__ == "__main__":
    if sys.argv[1:2] == ["--inside"]:
        try:
            inside(sys.argv[2], sys.argv[3])
        except Exception:          # a crash is a failure too, with its story
            check(False, "inside checks ran to the end", traceback.format_exc())
        with open(sys.argv[3]) as f:
            seen = json.load(f)
        with open(sys.argv[3], "w") as f:
            json.dump(dict(seen, passed=passed, failed=failures), f)
        sys.exit(1 if failures else 0)
    sys.exit(outside())
