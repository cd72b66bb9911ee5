#!/usr/bin/env python3
"""Runs the README's demo command non-interactively and checks that the
operator sees every outcome of a machine and the changes on disk."""
import os
import subprocess
import sys

RAIZ = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
Y, G, R = "\x1b[0;93m ", "\x1b[0;32m ", " \x1b[0;0m"

ESPERADAS = [
    "0 Cliente: 1021 - Hospital Central | Atualizando 192.0.0.16:22",
    G + "Código encontrado. Atualizando..." + R,
    Y + "Falha de autenticação." + R,
    Y + "IP 10.20.30.40 não é um IP público. Não é possível atualizar." + R,
    "3 Cliente: 1021 - Hospital Central | Atualizando 3fff::10:22",
    Y + "Arquivo ou diretório inexistente." + R,
    Y + "Problema na execução dos comandos SSH." + R,
    "6 Cliente: 1187 - Hospital São Lucas | Atualizando 192.0.0.20:2222",
    G + "Código não encontrado. Baixando..." + R,
    Y + "Erro ao conectar em 192.0.0.21:2200." + R,
    "central-manager    disco.py: -rwxr-xr-x '# disco.py, versao de 2023'  ->  "
    "-rwxr-xr-x '# script coleta/disco.py for python 3.8.10'",
    "lucas-curto        disco.py: ausente  ->  -rwxr-xr-x '# script coleta/disco.py for python 3.10.12'",
    "central-coletor    sem mudanças (disco.py)",
    "vida-manager       sem mudanças (disco.py)",
]


def main():
    if os.geteuid() != 0:
        print("demo: skipped, needs root (the lab)")
        return 77
    r = subprocess.run(["bash", os.path.join(RAIZ, "scripts", "demo.sh")], cwd=RAIZ,
                       stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
    saida = r.stdout.decode("utf-8", "replace")
    linhas = saida.splitlines()
    faltando = [e for e in ESPERADAS if e not in linhas]
    if r.returncode != 0 or faltando:
        sys.stdout.write(saida + r.stderr.decode("utf-8", "replace"))
        print("demo: status %d; lines missing: %r" % (r.returncode, faltando))
        return 1
    # The report keeps the order of the selection.
    posicoes = [linhas.index(e) for e in ESPERADAS[:10]]
    if posicoes != sorted(posicoes):
        print("demo: lines out of order: %r" % posicoes)
        return 1
    print("demo: %d machine lines and the disk report as expected" % len(linhas))
    return 0


if __name__ == "__main__":
    sys.exit(main())
