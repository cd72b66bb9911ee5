#!/usr/bin/env python3
"""Writes a gzip body: PREFIX, a value of MB decoded megabytes, SUFFIX.
"largo": [[],[],...]; "fundo": [[[...]]]; "texto": "xxx...".

    aninhados.py OUT.gz PREFIX SUFFIX MB largo|fundo|texto
"""
import sys
import zlib

saida, prefixo, sufixo, mb, forma = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5]
gz = zlib.compressobj(9, zlib.DEFLATED, 31)
bloco = 1 << 20
with open(saida, "wb") as f:
    f.write(gz.compress(prefixo.encode()))
    if forma == "largo":
        f.write(gz.compress(b"["))
        for _ in range(mb):
            f.write(gz.compress(b"[]," * (bloco // 3)))
        f.write(gz.compress(b"[]]"))
    elif forma == "texto":
        f.write(gz.compress(b'"'))
        for _ in range(mb):
            f.write(gz.compress(b"x" * bloco))
        f.write(gz.compress(b'"'))
    else:
        for c in (b"[", b"]"):
            for _ in range(mb // 2):
                f.write(gz.compress(c * bloco))
    f.write(gz.compress(sufixo.encode()))
    f.write(gz.flush())
