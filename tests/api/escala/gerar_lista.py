#!/usr/bin/env python3
"""Writes a large access list and a lab world that serves it, for measuring
the inventory and selection at scale.

Usage: gerar_lista.py DIR CUSTOMERS MACHINES [--encoding E] [--enxuta]

DIR receives lista.json and mundo.json (the world answers GET /acessos with
lista.json, compressed with E when given). Customers alternate between the
types Hospital and Clinica; about one machine in ten is a "database", one in
five uses the short "acesso" form, and each customer has a "manager".
--enxuta writes only the six members of the full form, the densest list per
megabyte (the worst case for memory).
"""
import argparse
import json
import os
import random


def machine(rng, c, i, enxuta):
    ip = "10.%d.%d.%d" % (c // 250, c % 250, i % 250)
    kind = "manager" if i == 0 else rng.choice(["coletor", "coletor", "proxy", "database", "outro"])
    if enxuta:
        return {"tipo": kind, "ip": ip, "sshPort": 22, "user": "suporte",
                "senhaVm": "vm-%08x" % rng.getrandbits(32), "senhaRoot": "rt-%08x" % rng.getrandbits(32)}
    entry = {"id": c * 1000 + i, "hostname": "vm-%d-%d.cliente.example" % (c, i), "tipo": kind,
             "senhaVm": "vm-%08x" % rng.getrandbits(32), "senhaRoot": "rt-%08x" % rng.getrandbits(32),
             "observacao": "instalada em 2023; contato do cliente na ficha"}
    if i % 5 == 4:
        entry["acesso"] = "ssh suporte@%s -p %d" % (ip, 22 + i % 3)
    else:
        entry.update({"ip": ip, "sshPort": 22 if i % 2 else "22", "user": "suporte",
                      "acesso": "ssh suporte@%s -p 22" % ip})
    return entry


def main(out, customers, machines, encoding=None, enxuta=False):
    rng = random.Random(7)
    per = machines // customers
    extra = machines - per * customers
    os.makedirs(out, exist_ok=True)
    path = os.path.join(out, "lista.json")
    with open(path, "w", encoding="utf-8") as f:
        f.write("[")
        for c in range(customers):
            n = per + (1 if c < extra else 0)
            kind = "Hospital" if c % 2 == 0 else "Clinica"
            cust = {"numero": 1000 + c, "cnpj": "00.000.000/0001-%02d" % (c % 100),
                    "produto": [{"nome": "%s Cliente %d" % (kind, c), "versao": "4.2",
                                 "maquinas": [machine(rng, c, i, enxuta) for i in range(n)]}]}
            f.write(("," if c else "") + json.dumps(cust, ensure_ascii=False))
        f.write("]")
    acessos = {"status": 200, "body_file": "lista.json"}
    if encoding:
        acessos["encoding"] = encoding
    with open(os.path.join(out, "mundo.json"), "w") as f:
        json.dump({"api": {"acessos": acessos}}, f)
    print("%s: %d bytes" % (path, os.path.getsize(path)))


if __name__ == "__main__":
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("dir")
    p.add_argument("customers", type=int)
    p.add_argument("machines", type=int)
    p.add_argument("--encoding", choices=["gzip", "deflate", "br", "zstd"])
    p.add_argument("--enxuta", action="store_true")
    a = p.parse_args()
    main(a.dir, a.customers, a.machines, a.encoding, a.enxuta)
