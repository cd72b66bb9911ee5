#!/usr/bin/env python3
"""Benchmarks of the production program inside lab worlds.

    python3 bench/bench.py            (as root; builds build/ first if needed)

Update runs: N appliances that all need the update (script present, python3
present), the tool against a baseline made of the system's ssh client doing
the same five su commands per machine, in the same world, one after the
other, for N=20 and N=40. Each runs twice: the production build
(connect-ahead, output read as it arrives) and the strict build
(build/atualizacao_em_massa_sequencial: connect-ahead off, a fixed 0.2 s
pause before each read), and so does a run over 10 unreachable machines in a row (listeners
that never answer, so each connect waits its 10 s time-out). Inventory runs: access lists of 10,000 and 100,000 machines and one
of about 50 MB, timed from the program's start to its first machine line
(the moment it connects to the first machine). Hostile bodies: 180 MB of
empty arrays (gzipped to 180 KB) in a member nobody reads, of the login
(wide) and of an access-list entry (deep), with the run's peak memory.
Prints a table and writes bench/results/bench.json.

    python3 bench/bench.py --api [PROGRAM]

runs only the 50 MB list and the hostile bodies (also a 20 MB token and a
40 MB access line nested deep, and a 200 MB text nobody reads) against
PROGRAM (default build/atualizacao_em_massa), to compare two builds.
"""
import json
import os
import subprocess
import sys
import tempfile

RAIZ = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROGRAMA = os.path.join(RAIZ, "build", "atualizacao_em_massa")
SEQUENCIAL = os.path.join(RAIZ, "build", "atualizacao_em_massa_sequencial")
LAB = os.path.join(RAIZ, "lab", "lab.py")
MEDIR = os.path.join(RAIZ, "bench", "medir.py")
BASELINE = os.path.join(RAIZ, "bench", "baseline.sh")
RESULTADOS = os.path.join(RAIZ, "bench", "results")
# The strict build's floor: 1 s after login and a 0.2 s pause per command. The
# production build overlaps the login with the previous machines and reads
# output as it arrives, so it goes well under it.
PISO_S = 1.0 + 5 * 0.2
PY = "/usr/bin/python3"


def em_mundo(mundo, comando):
    with tempfile.NamedTemporaryFile("w", suffix=".json", dir=RESULTADOS, delete=False) as f:
        json.dump(mundo, f)
    try:
        subprocess.run([PY, LAB, f.name, "--"] + comando, check=True)
    finally:
        os.unlink(f.name)


def ler(caminho):
    with open(caminho) as f:
        return json.load(f)


def maquinas_a_atualizar(n):
    """N appliances of the customer type "Bench" that all need the update."""
    return [{"name": "b%02d" % i, "ip": "192.0.0.%d" % (16 + i),
             "tipo": "manager" if i == 0 else "coletor",
             "customer": {"numero": 9000}, "produto": "Bench Hospital",
             "password": "vm-%d" % i, "root_password": "root-%d" % i,
             "python": "3.8.10", "scripts": {"disco.py": "# antigo\n"}} for i in range(n)]


def atualizacao(n, programa=PROGRAMA):
    maquinas = maquinas_a_atualizar(n)
    lista = "".join("%s 22 suporte %s %s\n" % (m["ip"], m["password"], m["root_password"])
                    for m in maquinas)
    ferramenta = os.path.join(RESULTADOS, "ferramenta-%d.json" % n)
    base = os.path.join(RESULTADOS, "baseline-%d.json" % n)
    interno = ("%s %s -- %s atualizarEmMassa 1 Bench coleta/disco.py > %s && "
               "%s %s --stdin \"$LISTA\" -- bash %s > %s" % (
                   PY, MEDIR, programa, ferramenta, PY, MEDIR, BASELINE, base))
    os.environ["LISTA"] = lista
    em_mundo({"machines": maquinas}, ["sh", "-c", interno])
    f, b = ler(ferramenta), ler(base)
    if f["status"] != 0 or f["stdout_lines"] < 5 * n:
        raise SystemExit("bench: the update run failed: %s" % f)
    return {
        "program": os.path.basename(programa),
        "machines": n,
        "wall_s": round(f["wall_s"], 3),
        "per_machine_s": round(f["wall_s"] / n, 3),
        "per_machine_over_floor": round(f["wall_s"] / n / PISO_S, 3),
        "cpu_ms_per_machine": round(1000 * f["cpu_s"] / n, 2),
        "peak_rss_mb": round(f["max_rss_mb"], 1),
        "baseline_per_machine_s": round(b["wall_s"] / n, 3),
        "ratio_to_baseline": round(f["wall_s"] / b["wall_s"], 3),
    }


def inalcancaveis(programa, n=10):
    """N machines whose port accepts TCP but never speaks SSH."""
    maquinas = [{"name": "m%02d" % i, "ip": "192.0.0.%d" % (16 + i), "silent": True,
                 "tipo": "manager" if i == 0 else "coletor", "customer": {"numero": 9100},
                 "produto": "Bench Hospital", "password": "vm-%d" % i,
                 "root_password": "root-%d" % i} for i in range(n)]
    saida = os.path.join(RESULTADOS, "inalcancaveis.json")
    interno = "%s %s -- %s atualizarEmMassa 1 Bench coleta/disco.py > %s" % (
        PY, MEDIR, programa, saida)
    em_mundo({"machines": maquinas}, ["sh", "-c", interno])
    r = ler(saida)
    if r["status"] != 0 or r["stdout_lines"] != 2 * n + 1:  # two lines a machine, the summary
        raise SystemExit("bench: the unreachable run went wrong: %s" % r)
    return {"program": os.path.basename(programa), "machines": n, "wall_s": round(r["wall_s"], 2)}


def lista_grande(caminho, maquinas, por_cliente=50, alvo_bytes=None):
    """Customers of 50 machines, full and short forms alternating."""
    n = 0
    cliente = 0
    with open(caminho, "w") as f:
        f.write("[")
        while (alvo_bytes is None and n < maquinas) or (alvo_bytes is not None and f.tell() < alvo_bytes):
            itens = []
            for k in range(por_cliente):
                ip = "192.0.0.16" if n == 0 else "10.%d.%d.%d" % (n >> 16 & 255, n >> 8 & 255, n & 255)
                tipo = "manager" if k == 0 else ("database" if k == 7 else "coletor")
                if n % 2 == 0:
                    itens.append({"tipo": tipo, "ip": ip, "sshPort": 22, "user": "suporte",
                                  "senhaVm": "vm%d" % n, "senhaRoot": "rt%d" % n, "hostname": "vm%d" % n})
                else:
                    itens.append({"tipo": tipo, "acesso": "ssh suporte@%s -p 22" % ip,
                                  "senhaVm": "vm%d" % n, "senhaRoot": "rt%d" % n, "id": n})
                n += 1
            f.write(("," if cliente else "") + json.dumps(
                {"numero": 10000 + cliente, "cnpj": "00.000.000/0001-%02d" % (cliente % 100),
                 "produto": [{"nome": "Hospital %d" % cliente, "maquinas": itens}]}))
            cliente += 1
        f.write("]")
        tamanho = f.tell()
    return n, cliente, tamanho


def inventario(rotulo, maquinas=None, alvo_bytes=None, programa=PROGRAMA):
    corpo = os.path.join(RESULTADOS, "acessos-%s.json" % rotulo)
    n, clientes, tamanho = lista_grande(corpo, maquinas, alvo_bytes=alvo_bytes)
    saida = os.path.join(RESULTADOS, "inventario-%s.json" % rotulo)
    mundo = {"machines": [], "api": {"acessos": {"body_file": corpo}}}
    interno = "%s %s --stop-after-first-line -- %s atualizarEmMassa 1 Hospital coleta/disco.py > %s" % (
        PY, MEDIR, programa, saida)
    em_mundo(mundo, ["sh", "-c", interno])
    os.unlink(corpo)
    r = ler(saida)
    if r["first_line_s"] is None:
        raise SystemExit("bench: the inventory run printed nothing: %s" % r)
    return {"label": rotulo, "machines": n, "customers": clientes,
            "list_mb": round(tamanho / 1e6, 1),
            "to_first_connect_s": round(r["first_line_s"], 3),
            "peak_rss_mb": round(r["max_rss_mb"], 1)}


ANINHADOS = os.path.join(RAIZ, "tests", "api", "mundos", "aninhados.py")
PRIVADA = {"tipo": "manager", "ip": "10.0.0.5", "sshPort": 22, "user": "suporte",
           "senhaVm": "vm", "senhaRoot": "rt"}


# Hostile bodies: where the value goes, its shape, and the run's status.
# "login" and "acessos": empty arrays in a member nobody reads (the run goes
# on); "token" and "acesso": arrays nested in a value that is read (refused);
# "texto": a text in a member nobody reads (the run goes on).
HOSTIS = {"login": ("largo", 0), "acessos": ("fundo", 0), "token": ("fundo", 1),
          "acesso": ("fundo", 1), "texto": ("texto", 0)}


def aninhados(onde, mb=180, programa=PROGRAMA):
    """The whole run (login, list, one private machine skipped) with a
    hostile value of mb MB (see HOSTIS)."""
    corpo = os.path.join(RESULTADOS, "aninhados-%s.json.gz" % onde)
    cliente = {"numero": 1, "produto": [{"nome": "Bench Hospital", "maquinas": [PRIVADA]}]}
    forma, status = HOSTIS[onde]
    api = {"acessos": {"body_file": corpo, "headers": [["Content-Encoding", "gzip"]]}}
    if onde in ("login", "token"):
        inicio = '{"token": "tok-bench", "lixo": ' if onde == "login" else '{"token": '
        subprocess.run([PY, ANINHADOS, corpo, inicio, "}", str(mb), forma], check=True)
        api = {"login": api["acessos"], "acessos": {"body": [cliente]}}
    elif onde == "acesso":
        inicio = ('[{"numero": 1, "produto": [{"nome": "Bench Hospital", "maquinas": [{"tipo": '
                  '"manager", "a": 1, "b": 2, "senhaVm": "vm", "senhaRoot": "rt", "acesso": ')
        subprocess.run([PY, ANINHADOS, corpo, inicio, "}]}]}]", str(mb), forma], check=True)
    else:
        inicio = json.dumps(cliente)[:-1] + ', "lixo": '
        subprocess.run([PY, ANINHADOS, corpo, "[" + inicio, "}]", str(mb), forma], check=True)
    saida = os.path.join(RESULTADOS, "aninhados-%s.json" % onde)
    interno = "%s %s -- %s atualizarEmMassa 1 Bench coleta/disco.py > %s" % (PY, MEDIR, programa, saida)
    em_mundo({"machines": [], "api": api}, ["sh", "-c", interno])
    tamanho = os.path.getsize(corpo)
    os.unlink(corpo)
    r = ler(saida)
    # A run that goes on writes the machine, its warning and the summary.
    if r["status"] != status or (status == 0 and r["stdout_lines"] != 3):
        raise SystemExit("bench: the %s run went wrong: %s" % (onde, r))
    return {"where": onde, "decoded_mb": mb, "gzip_kb": round(tamanho / 1024),
            "wall_s": round(r["wall_s"], 2), "peak_rss_mb": round(r["max_rss_mb"], 1)}


def so_api(programa):
    """The API's figures alone: the 50 MB list and the hostile bodies, for
    the given build of the program."""
    os.makedirs(RESULTADOS, exist_ok=True)
    i = inventario("50MB", alvo_bytes=50 * 1000 * 1000, programa=programa)
    print("50 MB list: %.3f s to the first connect, %.1f MB at the peak" % (
        i["to_first_connect_s"], i["peak_rss_mb"]))
    print("%8s %11s %8s %8s %9s" % ("where", "decoded MB", "gzip KB", "wall s", "RSS MB"))
    for onde, mb in (("login", 180), ("acessos", 180), ("token", 20), ("acesso", 40), ("texto", 200)):
        a = aninhados(onde, mb, programa)
        print("%8s %11d %8d %8.2f %9.1f" % (a["where"], a["decoded_mb"], a["gzip_kb"], a["wall_s"],
                                             a["peak_rss_mb"]))


def main():
    if os.geteuid() != 0:
        raise SystemExit("bench: run as root (the lab needs it)")
    if sys.argv[1:2] == ["--api"]:
        so_api(os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else PROGRAMA)
        return
    os.makedirs(RESULTADOS, exist_ok=True)
    if not os.path.exists(PROGRAMA) or not os.path.exists(SEQUENCIAL):
        subprocess.run(["cmake", "-S", RAIZ, "-B", os.path.join(RAIZ, "build")], check=True)
        subprocess.run(["cmake", "--build", os.path.join(RAIZ, "build"), "--target",
                        "atualizacao_em_massa", "atualizacao_em_massa_sequencial"], check=True)
    atualizacoes = [atualizacao(n, p) for n in (20, 40) for p in (PROGRAMA, SEQUENCIAL)]
    resultados = {"floor_s_per_machine": PISO_S,
                  "update": atualizacoes,
                  "unreachable": [inalcancaveis(PROGRAMA), inalcancaveis(SEQUENCIAL)],
                  "inventory": [inventario("10k", maquinas=10000), inventario("100k", maquinas=100000),
                                inventario("50MB", alvo_bytes=50 * 1000 * 1000)],
                  "nested_arrays": [aninhados("login"), aninhados("acessos")]}
    with open(os.path.join(RESULTADOS, "bench.json"), "w") as f:
        json.dump(resultados, f, indent=2)

    print("\nMass update (floor of the strict build %.1f s per machine)" % PISO_S)
    print("%-32s %5s %9s %11s %9s %12s %9s %12s %9s" % (
        "program", "N", "wall s", "s/machine", "/floor", "CPU ms/mach", "RSS MB", "ssh base s/m",
        "/base"))
    for u in resultados["update"]:
        print("%-32s %5d %9.2f %11.3f %9.3f %12.2f %9.1f %12.3f %9.3f" % (
            u["program"], u["machines"], u["wall_s"], u["per_machine_s"], u["per_machine_over_floor"],
            u["cpu_ms_per_machine"], u["peak_rss_mb"], u["baseline_per_machine_s"],
            u["ratio_to_baseline"]))
    for n in (20, 40):
        a, s = [u for u in atualizacoes if u["machines"] == n]
        print("N=%d: production / strict build = %.3f" % (n, a["wall_s"] / s["wall_s"]))
    a, s = resultados["unreachable"]
    print("\n%d unreachable machines in a row: %.1f s with the production build, %.1f s with "
          "the strict build (ratio %.3f)" % (a["machines"], a["wall_s"], s["wall_s"], a["wall_s"] / s["wall_s"]))
    print("\nInventory (program start to first connect)")
    print("%6s %9s %9s %8s %10s %9s" % ("list", "machines", "customers", "MB", "seconds", "RSS MB"))
    for i in resultados["inventory"]:
        print("%6s %9d %9d %8.1f %10.3f %9.1f" % (i["label"], i["machines"], i["customers"],
                                                  i["list_mb"], i["to_first_connect_s"], i["peak_rss_mb"]))
    print("\nEmpty arrays in a member nobody reads (whole run)")
    print("%8s %11s %8s %8s %9s" % ("where", "decoded MB", "gzip KB", "wall s", "RSS MB"))
    for a in resultados["nested_arrays"]:
        print("%8s %11d %8d %8.2f %9.1f" % (a["where"], a["decoded_mb"], a["gzip_kb"], a["wall_s"],
                                             a["peak_rss_mb"]))
    print("\nFigures written to bench/results/bench.json")


if __name__ == "__main__":
    main()
