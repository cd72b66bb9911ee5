#!/usr/bin/env python3
"""Reference answers from Python's own text handling, for the SSH output tests.

Reads lines "<op> <hex>" on standard input and answers one line each:
  d  bytes.decode("utf-8", errors="ignore"), as hex
  l  str.splitlines() of the UTF-8 text, each line as "." + hex, blank-separated
  s  str.strip() of the UTF-8 text, as hex
"""
import sys

for line in sys.stdin:
    op, _, arg = line.rstrip("\n").partition(" ")
    data = bytes.fromhex(arg)
    if op == "d":
        print(data.decode("utf-8", errors="ignore").encode("utf-8").hex())
    elif op == "l":
        text = data.decode("utf-8")
        print(" ".join("." + part.encode("utf-8").hex() for part in text.splitlines()))
    elif op == "s":
        print(data.decode("utf-8").strip().encode("utf-8").hex())
    else:
        sys.exit("unknown op " + op)
