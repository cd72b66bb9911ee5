#!/usr/bin/env python3
"""Independent address classifier used as a test oracle.

Reads one address text per line on stdin (a line may be empty) and prints its
class per line, built on the standard library's ipaddress module with the
same block lists as the tool.
"""
import ipaddress
import sys

PRIVADOS = [ipaddress.ip_network(n) for n in (
    "0.0.0.0/8", "10.0.0.0/8", "127.0.0.0/8", "169.254.0.0/16", "172.16.0.0/12",
    "192.0.0.0/29", "192.0.0.170/31", "192.0.2.0/24", "192.168.0.0/16", "198.18.0.0/15",
    "198.51.100.0/24", "203.0.113.0/24", "240.0.0.0/4", "255.255.255.255/32",
    "::1/128", "::/128", "::ffff:0:0/96", "100::/64", "2001::/23", "2001:2::/48",
    "2001:db8::/32", "2001:10::/28", "fc00::/7", "fe80::/10")]
COMPARTILHADO = ipaddress.ip_network("100.64.0.0/10")


def classificar(texto):
    if "%" in texto:  # the tool takes no zone index
        return "Endereço IP inválido"
    try:
        endereco = ipaddress.ip_address(texto)
    except ValueError:
        return "Endereço IP inválido"
    if any(endereco in rede for rede in PRIVADOS if rede.version == endereco.version):
        return "Privado"
    if endereco.version == 4 and endereco in COMPARTILHADO:
        return "Especial/Reservado"
    return "Público"


def main():
    dados = sys.stdin.buffer.read().decode("utf-8")
    linhas = dados.split("\n")
    if linhas and linhas[-1] == "":
        linhas.pop()
    sys.stdout.write("".join(classificar(l) + "\n" for l in linhas))


if __name__ == "__main__":
    main()
