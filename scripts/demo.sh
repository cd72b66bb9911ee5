#!/usr/bin/env bash
# The demo: a small simulated company (three customers, ten machines, real
# sshd appliances and an HTTPS API on this machine, in private namespaces)
# and a real mass update of coleta/disco.py against it.
#   bash scripts/demo.sh      automatic selection (scope 1)
#   bash scripts/demo.sh 2    interactive selection at the terminal (scope 2)
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
cd "$raiz"
escopo=${1:-1}

bash scripts/install-deps.sh
# An existing build/ keeps its settings (the test command may be using it).
[[ -f build/CMakeCache.txt ]] || cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target atualizacao_em_massa >/dev/null

exec python3 lab/lab.py lab/worlds/demo.json -- \
  python3 lab/demo_relatorio.py build/atualizacao_em_massa atualizarEmMassa "$escopo" Hospital coleta/disco.py
