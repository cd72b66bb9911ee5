#!/usr/bin/env bash
# Measures the inventory and the selection at scale: the built program,
# scope 1, against generated access lists served by the lab's HTTPS API.
# Prints wall time and peak RSS of each run. Needs root (the lab).
# Usage: tests/api/escala/medir.sh [BUILD_DIR]
set -euo pipefail
raiz=$(cd "$(dirname "$0")/../../.." && pwd)
programa=$(cd "${1:-$raiz/build}" && pwd)/atualizacao_em_massa
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

medir() {  # name, generator arguments...
  local nome=$1
  shift
  python3 "$raiz/tests/api/escala/gerar_lista.py" "$tmp/$nome" "$@" >/dev/null
  echo "== $nome ($(du -m "$tmp/$nome/lista.json" | cut -f1) MB)"
  # The first request warms the lab's cache of the (compressed) body.
  python3 "$raiz/lab/lab.py" "$tmp/$nome/mundo.json" -- sh -c '
    "$0" atualizarEmMassa 1 Hospital coleta/disco.py >/dev/null
    for i in 1 2 3; do
      /usr/bin/time -f "%e s  %M KB  status %x" "$0" atualizarEmMassa 1 Hospital coleta/disco.py >/dev/null
    done' "$programa"
}

medir clientes2000_maquinas100k 2000 100000
medir clientes2000_maquinas100k_gzip 2000 100000 --encoding gzip
medir lista50mb 2000 177000
medir lista50mb_enxuta 2000 420000 --enxuta
