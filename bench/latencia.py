#!/usr/bin/env python3
"""Per-machine time of the tool across a slow link, for several builds.

    python3 bench/latencia.py [PROGRAM ...]    (as root; default: build/'s
                                                production and strict builds)

Twenty appliances that all need the update, behind the lab's delayed link
("latencia_ms": every packet held half the round trip each way, ACKs
included, so Nagle and delayed-ACK stalls show as on a real network) at 0,
20, 50 and 100 ms of round trip, one world per delay, 0 ms through the same
relay. The repository and the
API are not delayed. In each world every PROGRAM runs once, then the plain
ssh loop of bench/baseline.sh (skipped with a note when sshpass is missing).
Prints, for each, the seconds per machine at each delay (wall time of the
whole run, login and first connect included, over the 20 machines) and the
round trips per machine: the least-squares slope of those seconds over the
round trip in seconds.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402  (the update world the other benchmark uses)

RAIZ = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LAB = os.path.join(RAIZ, "lab", "lab.py")
BASELINE = "ssh loop (bench/baseline.sh)"
N = 20
IDAS_E_VOLTAS_MS = (0, 20, 50, 100)


def dentro(programas):
    """Inside one world: each program, then the baseline; seconds per machine as JSON."""
    resultado = {}
    for programa in programas:
        inicio = time.monotonic()
        p = subprocess.run([programa, "atualizarEmMassa", "1", "Bench", "coleta/disco.py"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        resultado[programa] = (time.monotonic() - inicio) / N
        if "Resumo: %d máquinas, %d atualizadas." % (N, N) not in p.stdout.decode(errors="replace"):
            sys.exit("%s: not every machine was updated" % programa)
    if shutil.which("sshpass"):
        linhas = "".join("%s 22 suporte %s %s\n" % (m["ip"], m["password"], m["root_password"])
                         for m in bench.maquinas_a_atualizar(N))
        inicio = time.monotonic()
        subprocess.run(["bash", bench.BASELINE], input=linhas.encode(), check=True)
        resultado[BASELINE] = (time.monotonic() - inicio) / N
    print(json.dumps(resultado))


def main():
    if sys.argv[1:2] == ["--dentro"]:
        return dentro(sys.argv[2:])
    programas = [os.path.abspath(p) for p in sys.argv[1:]] or [bench.PROGRAMA, bench.SEQUENCIAL]
    if not shutil.which("sshpass"):
        print("sshpass is not installed: no ssh loop baseline")
    tabela = {}
    for ms in IDAS_E_VOLTAS_MS:
        with tempfile.NamedTemporaryFile("w", suffix=".json") as f:
            json.dump({"latencia_ms": ms, "machines": bench.maquinas_a_atualizar(N)}, f)
            f.flush()
            saida = subprocess.run([bench.PY, LAB, f.name, "--", bench.PY, os.path.abspath(__file__),
                                    "--dentro"] + programas, stdout=subprocess.PIPE, check=True).stdout
        for nome, s in json.loads(saida.decode().strip().splitlines()[-1]).items():
            tabela.setdefault(nome, {})[ms] = s
    print("seconds per machine, N=%d, by round trip" % N)
    print("%-40s" % "" + "".join("%8d ms" % ms for ms in IDAS_E_VOLTAS_MS) + "  round trips/machine")
    xs = [ms / 1000.0 for ms in IDAS_E_VOLTAS_MS]
    mx = sum(xs) / len(xs)
    for nome, por_ms in tabela.items():
        ys = [por_ms[ms] for ms in IDAS_E_VOLTAS_MS]
        my = sum(ys) / len(ys)
        inclinacao = sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sum((x - mx) ** 2 for x in xs)
        rotulo = os.path.relpath(nome, RAIZ) if os.path.isabs(nome) else nome
        print("%-40s" % rotulo + "".join("%9.3f s" % y for y in ys) + "%21.1f" % inclinacao)


if __name__ == "__main__":
    main()
