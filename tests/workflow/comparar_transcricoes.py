#!/usr/bin/env python3
"""Connect-ahead changes nothing an operator sees: compares every run of the
production program (SUITE.antecipada.jsonl) with the same run of the
strict-sequence build (SUITE.sequencial.jsonl), made in fresh copies of the
same lab world. Status, standard output and standard error must be equal,
except for the clock readings that remote commands print (wget's times and
transfer rate, the minutes of an `ls -l` listing), which differ between any
two runs.

    comparar_transcricoes.py DIR SUITE...   (exit 0 equal, 1 different, 77 not run)
"""
import json
import os
import re
import sys

# Colons are gone by then (the pager rule removes them): "2026-12-08 101233",
# "(5,32 MB/s)" and "dez  8 1001" (or "Dec  8 1001").
RELOGIO = [
    (re.compile(r"\b\d{4}-\d\d-\d\d \d{6}\b"), "<data>"),
    (re.compile(r"\(\d+(?:[.,]\d+)? [KMG]?B/s\)"), "(<taxa>)"),
    (re.compile(r"(\b\S{3,4}\.? +\d{1,2} +)\d{4}(?= )"), r"\1<hora>"),
]


def sem_relogio(texto):
    for padrao, troca in RELOGIO:
        texto = padrao.sub(troca, texto)
    return texto


def ler(caminho):
    with open(caminho, encoding="utf-8") as f:
        return [json.loads(linha) for linha in f if linha.strip()]


def main():
    pasta, suites = sys.argv[1], sys.argv[2:]
    if os.geteuid() != 0:
        print("the lab suites need root: nothing to compare")
        return 77
    diferencas = 0
    execucoes = 0
    for suite in suites:
        antecipada = os.path.join(pasta, suite + ".antecipada.jsonl")
        sequencial = os.path.join(pasta, suite + ".sequencial.jsonl")
        if not (os.path.exists(antecipada) and os.path.exists(sequencial)):
            print("%s: a transcript is missing" % suite)
            diferencas += 1
            continue
        a, s = ler(antecipada), ler(sequencial)
        if [(r["argv"], r["entrada"]) for r in a] != [(r["argv"], r["entrada"]) for r in s]:
            print("%s: the two suites did not make the same runs" % suite)
            diferencas += 1
            continue
        for ra, rs in zip(a, s):
            execucoes += 1
            for campo in ("status", "saida", "erro"):
                va, vs = ra[campo], rs[campo]
                if isinstance(va, str):
                    va, vs = sem_relogio(va), sem_relogio(vs)
                if va != vs:
                    diferencas += 1
                    print("%s %s: %s differs\n  ahead:    %r\n  sequence: %r"
                          % (suite, " ".join(ra["argv"]), campo, va[:2000], vs[:2000]))
    print("%d runs compared in %d suites, %d differences" % (execucoes, len(suites), diferencas))
    return 1 if diferencas or execucoes == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
