#!/usr/bin/env python3
"""Runs the updater inside a lab world and then shows, per appliance, what
changed in its external-scripts folder (script content and mode)."""
import os
import stat
import subprocess
import sys
import time


def retrato(state):
    raiz = os.path.join(state, "machines")
    fotos = {}
    for maquina in sorted(os.listdir(raiz)):
        pasta = os.path.join(raiz, maquina, "scripts")
        arquivos = {}
        if os.path.isdir(pasta):
            for nome in sorted(os.listdir(pasta)):
                caminho = os.path.join(pasta, nome)
                with open(caminho, "rb") as f:
                    arquivos[nome] = (stat.filemode(os.stat(caminho).st_mode),
                                      f.read().decode("utf-8", "replace"))
        servida = os.path.exists(os.path.join(raiz, maquina, "sshd.log"))
        fotos[maquina] = (arquivos if os.path.isdir(pasta) else None) if servida else "lista"
    return fotos


def main():
    state = os.environ["LAB_STATE"]
    antes = retrato(state)
    inicio = time.monotonic()
    status = subprocess.call(sys.argv[1:])
    duracao = time.monotonic() - inicio
    depois = retrato(state)
    print("\n=== Pastas de scripts externos, antes e depois (status do programa: %d, %.1f s) ==="
          % (status, duracao))
    for maquina in antes:
        a, d = antes[maquina], depois[maquina]
        if a == "lista":
            print("%-18s só na lista de acessos (sem appliance)" % maquina)
            continue
        if a is None:
            print("%-18s sem a pasta de scripts externos" % maquina)
            continue
        mudou = [n for n in sorted(set(a) | set(d)) if a.get(n) != d.get(n)]
        if not mudou:
            print("%-18s sem mudanças (%s)" % (maquina, ", ".join(a) or "pasta vazia"))
        for nome in mudou:
            def desc(x):
                return "ausente" if x is None else "%s %r" % (x[0], x[1].strip())
            print("%-18s %s: %s  ->  %s" % (maquina, nome, desc(a.get(nome)), desc(d.get(nome))))
    return status


if __name__ == "__main__":
    sys.exit(main())
