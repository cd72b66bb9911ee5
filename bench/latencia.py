#!/usr/bin/env python3
"""Per-machine time of the tool across a delayed link, for two builds.

    python3 bench/latencia.py [PROGRAM ...]    (as root; default: build/'s
                                                production and strict builds)

Ten appliances that all need the update; between the tool and each of them
a forwarder inside the lab world that holds every chunk for half the round
trip in each direction (order kept, TCP_NODELAY on both of its sockets), at
0, 50 and 100 ms of round trip. The repository and the API are not delayed.
Prints seconds per machine at each delay and the round trips per machine
(the slope over the delays). A forwarder ends TCP on its own side, so the
kernel's ACKs are not delayed: a Nagle stall of the tool's own socket does
not show here; the figures compare builds, not a real network.
"""
import asyncio
import json
import os
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402  (the update world the other benchmark uses)

RAIZ = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LAB = os.path.join(RAIZ, "lab", "lab.py")
N = 10
IDAS_E_VOLTAS_MS = (0, 50, 100)


def mundo():
    maquinas = bench.maquinas_a_atualizar(N)
    for i, m in enumerate(maquinas):
        m["entry"] = {"ip": "192.0.0.%d" % (60 + i)}  # the forwarder in front of it
    return {"machines": maquinas}


async def bombear(leitor, escritor, atraso):
    fila = asyncio.Queue()

    async def entregar():
        while True:
            prazo, dados = await fila.get()
            espera = prazo - time.monotonic()
            if espera > 0:
                await asyncio.sleep(espera)
            if not dados:
                escritor.close()
                return
            escritor.write(dados)
            await escritor.drain()

    tarefa = asyncio.create_task(entregar())
    try:
        while True:
            dados = await leitor.read(65536)
            await fila.put((time.monotonic() + atraso, dados))
            if not dados:
                break
    except (ConnectionError, OSError):
        await fila.put((time.monotonic() + atraso, b""))
    await tarefa


async def encaminhador(origem, destino, atraso):
    async def atender(leitor, escritor):
        try:
            r2, w2 = await asyncio.open_connection(destino, 22)
        except OSError:
            escritor.close()
            return
        for w in (escritor, w2):
            w.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            await asyncio.gather(bombear(leitor, w2, atraso), bombear(r2, escritor, atraso),
                                 return_exceptions=True)
        except asyncio.CancelledError:
            pass  # the run is over and its forwarders go

    return await asyncio.start_server(atender, origem, 22)


def dentro(programas):
    """Inside the world: the forwarders, then each program at each delay."""
    for i in range(N):
        subprocess.run(["ip", "addr", "add", "192.0.0.%d/32" % (60 + i), "dev", "lo"], check=True)
    resultados = {}
    for ms in IDAS_E_VOLTAS_MS:
        for programa in programas:
            async def rodar():
                servidores = [await encaminhador("192.0.0.%d" % (60 + i), "192.0.0.%d" % (16 + i),
                                                 ms / 2000.0) for i in range(N)]
                inicio = time.monotonic()
                p = await asyncio.create_subprocess_exec(
                    programa, "atualizarEmMassa", "1", "Bench", "coleta/disco.py",
                    stdout=asyncio.subprocess.PIPE, stderr=asyncio.subprocess.DEVNULL)
                saida, _ = await p.communicate()
                segundos = time.monotonic() - inicio
                for s in servidores:
                    s.close()
                atualizadas = "Resumo: %d máquinas, %d atualizadas." % (N, N)
                if atualizadas not in saida.decode(errors="replace"):
                    sys.exit("%s at %d ms: not every machine was updated" % (programa, ms))
                return segundos
            resultados.setdefault(programa, {})[ms] = asyncio.run(rodar()) / N
    for programa, por_ms in resultados.items():
        xs, ys = list(por_ms), list(por_ms.values())
        mx, my = sum(xs) / len(xs), sum(ys) / len(ys)
        inclinacao = sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sum((x - mx) ** 2 for x in xs)
        print("%s: %s; %.1f round trips per machine" % (
            os.path.relpath(programa, RAIZ),
            ", ".join("%d ms %.3f s" % (ms, s) for ms, s in por_ms.items()), inclinacao * 1000))


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--dentro":
        dentro(sys.argv[2:])
        return
    programas = [os.path.abspath(p) for p in sys.argv[1:]] or [
        os.path.join(RAIZ, "build", "atualizacao_em_massa"),
        os.path.join(RAIZ, "build", "atualizacao_em_massa_sequencial")]
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
        json.dump(mundo(), f)
    try:
        subprocess.run([sys.executable, LAB, f.name, "--", sys.executable,
                        os.path.abspath(__file__), "--dentro"] + programas, check=True)
    finally:
        os.unlink(f.name)


if __name__ == "__main__":
    main()
