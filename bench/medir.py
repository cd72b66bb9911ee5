#!/usr/bin/env python3
"""Runs one command and prints, as JSON, its wall time, CPU time, peak RSS
and the time its first line of standard output appeared.

    medir.py [--stop-after-first-line] [--stdin TEXT] -- COMMAND [ARGS...]
"""
import json
import os
import select
import subprocess
import sys
import time


def main():
    args = sys.argv[1:]
    parar = "--stop-after-first-line" in args
    entrada = None
    if "--stdin" in args:
        entrada = args[args.index("--stdin") + 1]
    comando = args[args.index("--") + 1:]
    inicio = time.monotonic()
    proc = subprocess.Popen(comando, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    if entrada is not None:
        proc.stdin.write(entrada.encode())
    proc.stdin.close()
    primeira = None
    saida = bytearray()
    erro = bytearray()
    abertos = {proc.stdout.fileno(): saida, proc.stderr.fileno(): erro}
    while abertos:
        prontos, _, _ = select.select(list(abertos), [], [], 1.0)
        for fd in prontos:
            bloco = os.read(fd, 65536)
            if not bloco:
                del abertos[fd]
                continue
            abertos[fd].extend(bloco)
            if fd == proc.stdout.fileno() and primeira is None and b"\n" in saida:
                primeira = time.monotonic() - inicio
                if parar:
                    proc.kill()
    _, status, uso = os.wait4(proc.pid, 0)
    parede = time.monotonic() - inicio
    print(json.dumps({
        "wall_s": parede,
        "first_line_s": primeira,
        "cpu_s": uso.ru_utime + uso.ru_stime,
        "max_rss_mb": uso.ru_maxrss / 1024.0,
        "status": os.waitstatus_to_exitcode(status),
        "stdout_lines": saida.count(b"\n"),
        "stderr": erro.decode("utf-8", "replace")[-500:],
    }))


if __name__ == "__main__":
    main()
